// placeholder until the simulated machine lands
namespace Corvane::simulated {}
