#include "ThreePhaseUISystem.h"

namespace KexCalculate {

ThreePhaseUISystem::ThreePhaseUISystem(const Complex3& u, const Complex3& i) : voltages(u), currents(i) {}

ThreePhaseUISystem::ThreePhaseUISystem(const ThreePhaseSystem& u, const ThreePhaseSystem& i)
    : voltages(u), currents(i) {}

void ThreePhaseUISystem::rotate(double angle) {
    voltages.rotate(angle);
    currents.rotate(angle);
}

void ThreePhaseUISystem::shftPhaseValues(int k) {
    voltages.shftPhaseValues(k);
    currents.shftPhaseValues(k);
}

}  // namespace KexCalculate
