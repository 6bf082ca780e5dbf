// One linear segment of a three-phase RL network: from an instant on, the
// network keeps its connections, resistances and inductances, and ideal
// sources drive it at the network frequency. The segment gives the sinusoidal
// steady state of every branch current and the decaying modes that carry the
// currents from their values at the segment's start to that steady state.
//
// Branches are the phases of three-phase elements (3x3 resistance and
// inductance matrices, mutual parts included) and one-phase resistive
// connections (a resistance of 0 is a bolted connection). Kirchhoff's current
// law leaves the loop currents y (branch currents i = N y, N the fundamental
// loops) with
//     Ly y' + Ry y = N^T e(t),   Ly = N^T L N,  Ry = N^T R N.
// In coordinates that make Ly diagonal, loops without inductance follow the
// sources and the inductive loops at once, so their currents may jump;
// eliminating them leaves the inductive loops z with D z' = -Rr z + ..., D
// diagonal and positive. The modes are the eigenvectors of D^-1/2 Rr D^-1/2,
// their decay rates 1/tau its eigenvalues: the generalised eigenproblem
// Rr v = lambda D v, real and non-negative for a passive network. A segment that starts from given
// branch currents keeps the flux linkage of every inductive loop (for currents
// that obey the current law, every inductor current stays continuous), so a
// sequence of segments (fault, poles opening, reclosing) chains: the next one
// starts from this one's currents at its end, sqrt(2) Im(I e^(j omega t)) of
// the steady state plus each mode's currents times e^(-t / tau).
#pragma once

#include <Eigen/Dense>
#include <complex>
#include <cstddef>

namespace KexCalculate {
namespace detail {

class RlNetworkSegment {
public:
    static constexpr int kGround = -1;
    static constexpr int kMaxBranches = 24;
    static constexpr int kMaxNodes = 5;
    static constexpr int kMaxTerminals = 3 * kMaxNodes;  // node phases apart from ground

    using Matrix3 = Eigen::Matrix3d;
    using Phasor3 = Eigen::Vector3cd;
    using BranchMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor, kMaxBranches,
                                       kMaxBranches>;
    using BranchVector = Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxBranches, 1>;
    using BranchPhasors = Eigen::Matrix<std::complex<double>, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxBranches, 1>;
    using ModeVector = BranchVector;  // one value per mode

    enum class Status {
        Solved,
        NotFinite,             // a value of the description is not finite, omega is not positive, or the
                               // solution leaves the range of double arithmetic
        NotPassive,            // a resistance or inductance matrix that is not positive semi-definite
        LoopWithoutImpedance,  // a loop with neither resistance nor inductance: no finite current
        TooLarge,              // more nodes or branches than the segment holds
    };

    // Returns the node's number; kGround is the ground.
    int addNode();
    // A three-phase element from node `from` to node `to` (either may be
    // kGround), its currents counted from `from` to `to`, driven that way by
    // the EMF phasors (RMS): V(from) - V(to) = R i + L di/dt - e. Returns the
    // branch of its phase A; phases B and C are the next two.
    int addElement(int from, int to, const Matrix3& resistance, const Matrix3& inductance,
                   const Phasor3& emf = Phasor3::Zero());
    // A one-phase resistive connection between two node phases; returns its branch.
    int connect(int fromNode, int fromPhase, int toNode, int toPhase, double resistance);

    int branchCount() const { return _branches; }
    bool tooLarge() const { return _tooLarge; }

    // The steady state at angular frequency omega (rad/s) and, when
    // startCurrents is given (every branch's current at the segment's start),
    // the modes.
    Status solve(double omega, const BranchVector* startCurrents);

    // RMS phasors of every branch current in the steady state.
    const BranchPhasors& steadyState() const { return _steadyState; }
    int modeCount() const { return static_cast<int>(_decayRates.size()); }
    // 1 / tau of each mode; 0 for a loop without resistance, whose current stays.
    const ModeVector& decayRates() const { return _decayRates; }
    // Column k: every branch's current of mode k at the segment's start.
    const BranchMatrix& modeCurrents() const { return _modeCurrents; }

private:
    struct Branch {
        int from;  // node phase, or kGround
        int to;
    };

    static int terminal(int node, int phase) { return node == kGround ? kGround : 3 * node + phase; }
    bool isPassive() const;
    BranchMatrix fundamentalLoops() const;
    Status outOfRange();

    int _nodes = 0;
    int _branches = 0;
    bool _tooLarge = false;
    Branch _ends[kMaxBranches] = {};
    int _elementStart[kMaxBranches] = {};  // first branch of each element or connection
    int _elementSize[kMaxBranches] = {};
    int _elements = 0;
    BranchMatrix _resistance = BranchMatrix::Zero(kMaxBranches, kMaxBranches);
    BranchMatrix _inductance = BranchMatrix::Zero(kMaxBranches, kMaxBranches);
    BranchPhasors _emf = BranchPhasors::Zero(kMaxBranches);

    BranchPhasors _steadyState;
    ModeVector _decayRates;
    BranchMatrix _modeCurrents;
};

}  // namespace detail
}  // namespace KexCalculate
