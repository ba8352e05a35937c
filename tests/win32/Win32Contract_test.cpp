// The simulated machine of plain Wine answers every contract row as Wine does
// (support/Win32Contract.h; the Wine tests ask Wine the same rows).
#include "support/SimulatedMachineTest.h"
#include "support/Win32Contract.h"

namespace Corvane::testing {
namespace {

class Win32Contract : public SimulatedMachineTest {};

TEST_F(Win32Contract, TheSimulatedPlainWineAnswersEveryRowAsWineDoes) {
    profile = profile::loadProfileFile(fixturePath("profiles/wine/plain-wine.json"));
    start();
    contract::expectEveryAnswer();
}

}  // namespace
}  // namespace Corvane::testing
