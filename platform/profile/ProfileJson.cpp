namespace Corvane::profile {}
