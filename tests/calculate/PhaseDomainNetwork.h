// An independent phase-domain solution of the two-source network, to check the
// sequence-network reduction of the transient model against. Every element is
// a 3x3 phase impedance matrix built from its positive- and zero-sequence
// impedances, the sources are ideal three-phase EMFs behind their impedances,
// and a disturbance is a set of one-phase connections at the fault point. The
// nodal equations are solved in modified form, with the element currents as
// unknowns beside the node voltages, so a bolted connection is an exact zero
// impedance and no element matrix is ever inverted.
#pragma once

#include <Eigen/Dense>
#include <complex>
#include <cstddef>
#include <vector>

#include "CalculationRl.h"

namespace PhaseDomain {

using Cx = std::complex<double>;
using Vector3 = Eigen::Vector3cd;
using Matrix3 = Eigen::Matrix3cd;

constexpr int kGround = -1;
constexpr double kPi = 3.141592653589793;

inline Cx cx(const KexCalculate::Complex& z) { return {z.re, z.im}; }

// A balanced (transposed) element: Zs = (Z0 + 2 Z1) / 3 on the diagonal,
// Zm = (Z0 - Z1) / 3 off it, with Z0 = z1 with the factor pair k applied part by part.
inline Matrix3 phaseImpedance(Cx z1, Cx k) {
    const Cx z0(z1.real() * k.real(), z1.imag() * k.imag());
    Matrix3 z;
    z.setConstant((z0 - z1) / 3.0);
    z.diagonal().setConstant((z0 + 2.0 * z1) / 3.0);
    return z;
}

// A positive-sequence set: B lags A by 120 degrees, C leads it.
inline Vector3 positiveSequence(Cx phaseA) {
    return {phaseA, phaseA * std::polar(1.0, -2.0 * kPi / 3.0), phaseA * std::polar(1.0, 2.0 * kPi / 3.0)};
}

class Network {
public:
    int addNode() { return nodeCount_++; }

    // A three-phase element from node `from` to node `to` (either may be
    // kGround). Its currents are counted from `from` to `to`, and `emf` drives
    // them that way: V(from) - V(to) = Z I - emf.
    int addElement(int from, int to, const Matrix3& z, const Vector3& emf = Vector3::Zero()) {
        Element e{{}, {}, z, emf, 0};
        for (int phase = 0; phase < 3; ++phase) {
            e.from.push_back(terminal(from, phase));
            e.to.push_back(terminal(to, phase));
        }
        elements_.push_back(e);
        return static_cast<int>(elements_.size()) - 1;
    }

    // A one-phase connection of impedance z between two phase terminals; a
    // node of kGround means ground. z may be zero.
    void connect(int fromNode, int fromPhase, int toNode, int toPhase, Cx z) {
        Eigen::MatrixXcd zz(1, 1);
        zz(0, 0) = z;
        elements_.push_back(
            Element{{terminal(fromNode, fromPhase)}, {terminal(toNode, toPhase)}, zz, Eigen::VectorXcd::Zero(1), 0});
    }

    void solve() {
        int unknowns = 3 * nodeCount_;
        for (Element& e : elements_) {
            e.offset = unknowns;
            unknowns += static_cast<int>(e.from.size());
        }
        Eigen::MatrixXcd a = Eigen::MatrixXcd::Zero(unknowns, unknowns);
        Eigen::VectorXcd rhs = Eigen::VectorXcd::Zero(unknowns);
        for (const Element& e : elements_) {
            const int m = static_cast<int>(e.from.size());
            for (int i = 0; i < m; ++i) {
                const int row = e.offset + i;
                const std::size_t si = static_cast<std::size_t>(i);
                // Kirchhoff's current law: the element current leaves `from`
                // and enters `to`.
                if (e.from[si] != kGround) {
                    a(e.from[si], row) += 1.0;
                    a(row, e.from[si]) += 1.0;
                }
                if (e.to[si] != kGround) {
                    a(e.to[si], row) -= 1.0;
                    a(row, e.to[si]) -= 1.0;
                }
                for (int j = 0; j < m; ++j) {
                    a(row, e.offset + j) -= e.z(i, j);
                }
                rhs(row) = -e.emf(i);
            }
        }
        solution_ = a.fullPivLu().solve(rhs);
    }

    Vector3 voltage(int node) const { return solution_.segment<3>(3 * node); }
    Vector3 current(int element) const {
        return solution_.segment<3>(elements_[static_cast<std::size_t>(element)].offset);
    }

private:
    struct Element {
        std::vector<int> from;
        std::vector<int> to;
        Eigen::MatrixXcd z;
        Eigen::VectorXcd emf;
        int offset;
    };

    static int terminal(int node, int phase) { return node == kGround ? kGround : 3 * node + phase; }

    int nodeCount_ = 0;
    std::vector<Element> elements_;
    Eigen::VectorXcd solution_;
};

enum class Disturbance { None, ThreePhase, TwoPhase, OnePhaseToGround, TwoPhaseToGround, PhaseBreak };

struct RelayQuantities {
    Vector3 current;  // from the relay busbar into the protected line (the relay's circuit)
    Vector3 voltage;  // relay busbar, phase to ground
};

// The connection at the fault point: phase A for a one-phase fault, the pair
// B-C for the two-phase kinds; to ground means through rf.
inline void connectFault(Network& net, int node, Disturbance d, Cx rf) {
    switch (d) {
    case Disturbance::ThreePhase:
        for (int phase = 0; phase < 3; ++phase) {
            net.connect(node, phase, kGround, 0, rf);
        }
        break;
    case Disturbance::TwoPhase:
        net.connect(node, 1, node, 2, rf);
        break;
    case Disturbance::OnePhaseToGround:
        net.connect(node, 0, kGround, 0, rf);
        break;
    case Disturbance::TwoPhaseToGround:  // both phases bolted together, to ground through rf
        net.connect(node, 1, node, 2, Cx());
        net.connect(node, 1, kGround, 0, rf);
        break;
    default:
        break;
    }
}

// Builds the network that the record describes, driven by the phase-A EMFs e1
// and e2, and returns what the relay measures. A fault with a negative distance
// lies at the relay busbar, or, on a tapped branch, on a branch tapped there.
// The phase break opens phase A in the middle of the line (of the faulted
// circuit of a double line).
inline RelayQuantities solveRelay(const KexCalculate::RlParameters& p, Cx e1, Cx e2, Disturbance d) {
    Network net;
    const int relayBus = net.addNode();
    const int farBus = net.addNode();
    net.addElement(kGround, relayBus, phaseImpedance(cx(p.zS1), cx(p.kS1)), positiveSequence(e1));
    net.addElement(kGround, farBus, phaseImpedance(cx(p.zS2), cx(p.kS2)), positiveSequence(e2));
    const auto line = [&](int from, int to, double share) {
        return net.addElement(from, to, phaseImpedance(cx(p.zLine) * share, cx(p.kLine)));
    };
    const double share = p.faultDistance / 100.0;
    const bool behind = p.faultDistance < 0.0;
    const bool doubleCircuit = p.networkType >= 2;
    const Cx rf(p.useFaultResistance ? p.faultResistance : 0.0, 0.0);

    int relayElement = 0;
    int faultNode = relayBus;
    if (d == Disturbance::PhaseBreak) {
        const int midLine = net.addNode();
        const int poleNode = net.addNode();
        relayElement = line(relayBus, midLine, 0.5);
        net.connect(midLine, 1, poleNode, 1, Cx());  // phase A stays open
        net.connect(midLine, 2, poleNode, 2, Cx());
        line(poleNode, farBus, 0.5);
        if (doubleCircuit) {
            const int healthy = line(relayBus, farBus, 1.0);
            relayElement = p.networkType == 2 ? healthy : relayElement;
        }
    } else if (doubleCircuit) {
        const int healthy = line(relayBus, farBus, 1.0);
        int faulted = 0;
        if (behind) {
            faulted = line(relayBus, farBus, 1.0);
        } else {
            faultNode = net.addNode();
            faulted = line(relayBus, faultNode, share);
            line(faultNode, farBus, 1.0 - share);
        }
        relayElement = p.networkType == 2 ? healthy : faulted;
    } else {
        int tap = relayBus;
        if (behind) {
            relayElement = line(relayBus, farBus, 1.0);
        } else {
            tap = net.addNode();
            relayElement = line(relayBus, tap, share);
            line(tap, farBus, 1.0 - share);
        }
        faultNode = tap;
        if (p.networkType == 1) {
            faultNode = net.addNode();
            net.addElement(tap, faultNode, phaseImpedance(cx(p.zBranch) * (p.branchDistance / 100.0), cx(p.kBranch)));
        }
    }
    connectFault(net, faultNode, d, rf);
    net.solve();
    return {net.current(relayElement), net.voltage(relayBus)};
}

}  // namespace PhaseDomain
