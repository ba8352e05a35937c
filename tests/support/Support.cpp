namespace Corvane::testing {}
