// Exact transients of the transient model's network. After the disturbance
// instant the network of a CalculationRl record is linear with constant
// resistances and inductances, so every channel is exactly its fault-state
// sine wave plus one decaying term per mode of the network:
//     x(t') = sqrt(2) |X| sin(omega t' + arg X) + sum over k of A[k] e^(-t' / tau[k])
// X the model's own fault-state phasor, tau[k] the network's time constants,
// A[k] from the continuity of every inductor current at the instant. The
// model's single time constant is exact only for a bolted three-phase fault
// in front of the relay on a single line (and load switching); elsewhere this
// gives the DC the network really has.
//
// Opt-in and beside the model: the model and its accessors keep their values.
// A host calculates the model, then this object from it, and samples this
// object instead of the model:
//     model.calculate();
//     exact.calculate(model);
//     exact.getMgn(channel, time);  // or sampleAllChannels(...)
// Kinds outside the exact mode's scope keep the model's waveforms (status()
// says so); records whose network has no exact solution give the model's sine
// waves without any DC. The model's record must stay alive as for the model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "CalculationRl.h"
#include "Complex.h"
#include "KexCalculateExport.h"

namespace KexCalculate {

// Whether the exact mode applies to the record last calculated, and if not, why.
enum class RlExactStatus : std::uint8_t {
    NotCalculated,         // calculate() has not run, or the model has no record: every value is 0
    Exact,                 // the waveforms are the exact solution of the network
    KindOutsideScope,      // swing, asynchronous operation, phase break, no disturbance, load switching
                           // off a single line: the model's waveforms, unchanged
    InvalidRecord,         // a value that is not finite, a frequency that is not positive, or a network whose
                           // solution leaves the range of double arithmetic: every value is 0
    NotPassive,            // a negative resistance or inductance (a negative zero-sequence factor or
                           // fault resistance, a fault beyond the line's end): sine waves without DC
    LoopWithoutImpedance,  // a loop with neither resistance nor inductance carries no finite current:
                           // sine waves without DC
    ModelDiffers,          // the model's phasors are not this network's steady state (one of the
                           // model's guards against vanishing divisors acted): sine waves without DC
};

// A short English description of a status, for messages and summaries.
KEXCALCULATE_EXPORT const char* rlExactStatusText(RlExactStatus status);

class KEXCALCULATE_EXPORT CalculationRlExact {
public:
    // Modes of the network at most; the model's networks have up to nine.
    static constexpr std::size_t kMaxModes = 12;

    // Solves the network of the model's record; the model must have been
    // calculated from it. Reads the model and keeps a copy of its state.
    void calculate(const CalculationRl& model);

    RlExactStatus status() const { return _status; }

    // Instantaneous value of a channel (0..2 currents A, B, C; 3..5 voltages)
    // at host time `time`, as CalculationRl::getMgn; 0 for any other channel.
    double getMgn(int channel, double time) const;
    // Block sampling as CalculationRl's: out[k] (or out[6 k + channel]) is the
    // value at host time startTime + k * step, within 1e-9 of the channel's
    // peak value of getMgn at that instant.
    void sampleChannel(int channel, double startTime, double step, std::size_t count, double* out) const;
    void sampleAllChannels(double startTime, double step, std::size_t count, double* out) const;

    // The modes that reach the channels, longest time constant first (none
    // unless status() is Exact). Modes of equal time constant are one mode.
    std::size_t modeCount() const { return _modeCount; }
    // Seconds; infinite for a loop without resistance, whose DC stays.
    double modeTimeConstant(std::size_t mode) const;
    // The mode's DC on a channel at the disturbance instant, in the channel's
    // instantaneous units (A, V), so that the channel carries
    // modeDc(k, channel) * e^(-t' / modeTimeConstant(k)).
    double modeDc(std::size_t mode, int channel) const;
    // The channel's whole DC at the instant: the sum over the modes.
    double initialDc(int channel) const;

    // The steady states of the network this object solved, as the model's
    // phasors (RMS, per channel, moved to the faulted phase like them). With
    // status() Exact they equal the model's _predI/_predU and _faultI/_faultU.
    Complex networkPreFaultPhasor(int channel) const;
    Complex networkFaultPhasor(int channel) const;

private:
    // What getMgn and the block sampling give for the status.
    enum class Output : std::uint8_t { Nothing, Model, SineWaves, Exact };

    double _dcAt(unsigned channel, double t) const;
    void _addDc(int firstChannel, int channelCount, double startTime, double step, std::size_t count,
                double* out) const;

    RlExactStatus _status = RlExactStatus::NotCalculated;
    Output _output = Output::Nothing;
    // The model's state; without its aperiodic term where this object adds the modes.
    CalculationRl _waves;
    std::size_t _modeCount = 0;
    std::array<double, kMaxModes> _timeConstant{};  // infinite for a loop without resistance
    // Beyond this t'/tau the mode lies below 1e-15 of every channel's peak.
    std::array<double, kMaxModes> _negligibleFrom{};
    std::array<std::array<double, 6>, kMaxModes> _dc{};
    std::array<Complex, 6> _networkPreFault{};
    std::array<Complex, 6> _networkFault{};
};

}  // namespace KexCalculate
