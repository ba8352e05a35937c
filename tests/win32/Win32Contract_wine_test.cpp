// Wine's own Win32 answers every contract row as the simulated machine does
// (support/Win32Contract.h; the unit tests ask the simulated plain Wine).
#include "support/Win32Contract.h"

namespace Corvane::testing {
namespace {

TEST(Win32Contract, WineAnswersEveryRowAsTheSimulatedMachineDoes) { contract::expectEveryAnswer(); }

}  // namespace
}  // namespace Corvane::testing
