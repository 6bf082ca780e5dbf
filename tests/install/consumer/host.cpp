// A small host: a steady-state test point and a transient sample, checked
// against values worked out by hand.
#include <cmath>
#include <cstdio>

#include "CalculationFault.h"
#include "CalculationRl.h"

using namespace KexCalculate;

int main() {
    // B-C fault of 100 V: the healthy phase A keeps 100/sqrt(3) at +90 degrees.
    const ThreePhaseSystem u = CalculationFault::calculateFault(KexRelay::Voltage, Fault::BC, 100.0, 0.0, -1.0);
    if (std::fabs(u.a().im - 57.73502691896258) > 1e-9 || std::fabs(u.b().re - 50.0) > 1e-9) {
        std::fprintf(stderr, "unexpected fault values\n");
        return 1;
    }

    // No disturbance: phase A's current is sqrt(2) * 1 A * sin(0) at t = 0.
    RlParameters p{};
    p.loadVoltage = 57.735;
    p.loadCurrent = 1.0;
    p.frequency = 50.0;
    p.zS1 = {0.5, 6.0};
    p.zLine = {1.2, 12.0};
    p.zS2 = {0.8, 9.0};
    p.faultKind = 12;
    CalculationRl model(&p);
    model.calculate();
    const double quarterPeriod = 0.005;
    if (std::fabs(model.getMgn(0, 0.0)) > 1e-12 || std::fabs(model.getMgn(0, quarterPeriod) - std::sqrt(2.0)) > 1e-9) {
        std::fprintf(stderr, "unexpected waveform\n");
        return 1;
    }
    std::printf("host ok\n");
    return 0;
}
