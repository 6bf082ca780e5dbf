// An independent phase-domain solution of the two-source network, to check the
// sequence-network reduction of the transient model against. Every element is
// a 3x3 phase impedance matrix built from its positive- and zero-sequence
// impedances, the sources are ideal three-phase EMFs behind their impedances,
// and a disturbance is a set of one-phase connections at the fault point. The
// nodal equations are solved in modified form, with the element currents as
// unknowns beside the node voltages, so a bolted connection is an exact zero
// impedance and no element matrix is ever inverted. The same equations in the
// time domain, E x' = F x + b(t), are integrated step by step for the
// transients (integrate()), without any knowledge of the network's modes.
#pragma once

#include <Eigen/Dense>
#include <array>
#include <cmath>
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
        const Equations q = assemble();
        const Eigen::MatrixXcd a = q.incidence.cast<Cx>() - q.impedance;
        solution_ = a.fullPivLu().solve(-q.emf);
    }

    Vector3 voltage(int node) const { return solution_.segment<3>(3 * node); }
    Vector3 current(int element) const {
        return solution_.segment<3>(elements_[static_cast<std::size_t>(element)].offset);
    }
    int elementCount() const { return static_cast<int>(elements_.size()); }

    // The relay's instantaneous currents (element relayElement) and voltages
    // (node relayBus) at t = step, 2 step, ... steps * step, from element
    // currents start (three per element, one per connection) at t = 0. The
    // impedances are those at omega (L = X / omega), the EMFs sqrt(2) Im(E e^(j omega t)).
    // Three-stage Radau IIA collocation: order 5 in the currents, stiffly
    // accurate, so the node voltages, which the equations fix without a
    // derivative of their own, need no starting value.
    std::vector<std::array<double, 6>> integrate(double omega, const std::vector<double>& start, int relayElement,
                                                 int relayBus, double step, int steps) {
        const Equations q = assemble();
        const int n = static_cast<int>(q.emf.size());
        const int currents = n - 3 * nodeCount_;
        const Eigen::MatrixXd f = q.incidence - q.impedance.real();
        const Eigen::MatrixXd e = q.impedance.imag() / omega;
        const Eigen::VectorXcd& b = q.emf;
        const double r6 = std::sqrt(6.0);
        const double c[3] = {(4.0 - r6) / 10.0, (4.0 + r6) / 10.0, 1.0};
        const double a[3][3] = {{(88.0 - 7.0 * r6) / 360.0, (296.0 - 169.0 * r6) / 1800.0, (-2.0 + 3.0 * r6) / 225.0},
                                {(296.0 + 169.0 * r6) / 1800.0, (88.0 + 7.0 * r6) / 360.0, (-2.0 - 3.0 * r6) / 225.0},
                                {(16.0 - r6) / 36.0, (16.0 + r6) / 36.0, 1.0 / 9.0}};
        // Stage equations E (X_i - x_n) = h sum_j a_ij (F X_j + b(t_n + c_j h)).
        Eigen::MatrixXd k = Eigen::MatrixXd::Zero(3 * n, 3 * n);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                k.block(i * n, j * n, n, n) = -step * a[i][j] * f;
            }
            k.block(i * n, i * n, n, n) += e;
        }
        const Eigen::PartialPivLU<Eigen::MatrixXd> lu(k);
        // x_{n+1} = X_3 = map * (element currents) + wave * (cos omega t_n, sin omega t_n).
        Eigen::MatrixXd rhs = Eigen::MatrixXd::Zero(3 * n, currents + 2);
        for (int i = 0; i < 3; ++i) {
            rhs.block(i * n, 0, n, currents) = e.rightCols(currents);
            for (int j = 0; j < 3; ++j) {
                const Eigen::VectorXcd bj = b * std::polar(std::sqrt(2.0), omega * c[j] * step);
                rhs.block(i * n, currents, n, 1) += step * a[i][j] * bj.imag();
                rhs.block(i * n, currents + 1, n, 1) += step * a[i][j] * bj.real();
            }
        }
        const Eigen::MatrixXd next = lu.solve(rhs).bottomRows(n);
        // The stepping is the costly part: plain loops over row-major copies,
        // since unoptimised test builds run Eigen's products slowly.
        const int width = currents + 2;
        const int relay = elements_[static_cast<std::size_t>(relayElement)].offset;
        const int outputRows[6] = {relay, relay + 1, relay + 2, 3 * relayBus, 3 * relayBus + 1, 3 * relayBus + 2};
        std::vector<double> map(static_cast<std::size_t>((currents + 6) * width));
        for (int i = 0; i < currents + 6; ++i) {
            const int row = i < currents ? 3 * nodeCount_ + i : outputRows[i - currents];
            for (int col = 0; col < width; ++col) {
                map[static_cast<std::size_t>(i * width + col)] = next(row, col);
            }
        }
        std::vector<double> state = start;
        state.resize(static_cast<std::size_t>(width));
        std::vector<double> following(static_cast<std::size_t>(currents + 6));
        std::vector<std::array<double, 6>> trajectory(static_cast<std::size_t>(steps));
        for (int s = 0; s < steps; ++s) {
            state[static_cast<std::size_t>(currents)] = std::cos(omega * s * step);
            state[static_cast<std::size_t>(currents + 1)] = std::sin(omega * s * step);
            for (std::size_t i = 0; i < following.size(); ++i) {
                const double* r = map.data() + i * static_cast<std::size_t>(width);
                double sum = 0.0;
                for (std::size_t col = 0; col < state.size(); ++col) {
                    sum += r[col] * state[col];
                }
                following[i] = sum;
            }
            std::copy(following.begin(), following.begin() + currents, state.begin());
            std::copy(following.begin() + currents, following.end(), trajectory[static_cast<std::size_t>(s)].begin());
        }
        return trajectory;
    }

private:
    struct Element {
        std::vector<int> from;
        std::vector<int> to;
        Eigen::MatrixXcd z;
        Eigen::VectorXcd emf;
        int offset;
    };

    // The equations over the unknowns (node voltages, then element currents):
    // incidence * x - impedance * x = -emf, the current law in the node rows,
    // V(from) - V(to) - Z I = -emf in the element rows.
    struct Equations {
        Eigen::MatrixXd incidence;
        Eigen::MatrixXcd impedance;
        Eigen::VectorXcd emf;
    };

    Equations assemble() {
        int unknowns = 3 * nodeCount_;
        for (Element& e : elements_) {
            e.offset = unknowns;
            unknowns += static_cast<int>(e.from.size());
        }
        Equations q{Eigen::MatrixXd::Zero(unknowns, unknowns), Eigen::MatrixXcd::Zero(unknowns, unknowns),
                    Eigen::VectorXcd::Zero(unknowns)};
        for (const Element& e : elements_) {
            const int m = static_cast<int>(e.from.size());
            for (int i = 0; i < m; ++i) {
                const int row = e.offset + i;
                const std::size_t si = static_cast<std::size_t>(i);
                // Kirchhoff's current law: the element current leaves `from`
                // and enters `to`.
                if (e.from[si] != kGround) {
                    q.incidence(e.from[si], row) += 1.0;
                    q.incidence(row, e.from[si]) += 1.0;
                }
                if (e.to[si] != kGround) {
                    q.incidence(e.to[si], row) -= 1.0;
                    q.incidence(row, e.to[si]) -= 1.0;
                }
                q.impedance.block(row, e.offset, 1, m) = e.z.row(i);
                q.emf(row) = e.emf(i);
            }
        }
        return q;
    }

    static int terminal(int node, int phase) { return node == kGround ? kGround : 3 * node + phase; }

    int nodeCount_ = 0;
    std::vector<Element> elements_;
    Eigen::VectorXcd solution_;
};

enum class Disturbance { None, ThreePhase, TwoPhase, OnePhaseToGround, TwoPhaseToGround, PhaseBreak, LoadSwitching };

struct RelayQuantities {
    Vector3 current;  // from the relay busbar into the protected line (the relay's circuit)
    Vector3 voltage;  // relay busbar, phase to ground
};

// The connection at the fault point: phase A for a one-phase fault, the pair
// B-C for the two-phase kinds, each phase q moved to (q - turn) mod 3; to
// ground means through rf.
inline void connectFault(Network& net, int node, Disturbance d, Cx rf, int turn = 0) {
    const auto phase = [turn](int q) { return (q + 3 - turn) % 3; };
    switch (d) {
    case Disturbance::ThreePhase:
        for (int q = 0; q < 3; ++q) {
            net.connect(node, q, kGround, 0, rf);
        }
        break;
    case Disturbance::TwoPhase:
        net.connect(node, phase(1), node, phase(2), rf);
        break;
    case Disturbance::OnePhaseToGround:
        net.connect(node, phase(0), kGround, 0, rf);
        break;
    case Disturbance::TwoPhaseToGround:  // both phases bolted together, to ground through rf
        net.connect(node, phase(1), node, phase(2), Cx());
        net.connect(node, phase(1), kGround, 0, rf);
        break;
    default:
        break;
    }
}

struct BuiltNetwork {
    Network net;
    int relayElement = 0;
    int relayBus = 0;
};

// The network that the record describes, driven by the phase-A EMFs e1 and e2.
// A fault with a negative distance lies at the relay busbar, or, on a tapped
// branch, on a branch tapped there. The phase break opens phase A in the
// middle of the line (of the faulted circuit of a double line). Load
// switching leaves source 1 feeding zSwitched (no zero-sequence coupling).
// The elements come in the same order with every disturbance, the fault's
// connections after them; turn moves the fault's phases (connectFault).
inline BuiltNetwork buildNetwork(const KexCalculate::RlParameters& p, Cx e1, Cx e2, Disturbance d, int turn = 0) {
    BuiltNetwork built;
    Network& net = built.net;
    const int relayBus = net.addNode();
    net.addElement(kGround, relayBus, phaseImpedance(cx(p.zS1), cx(p.kS1)), positiveSequence(e1));
    if (d == Disturbance::LoadSwitching) {
        built.relayElement = net.addElement(relayBus, kGround, phaseImpedance(cx(p.zSwitched), Cx(1.0, 1.0)));
        return built;
    }
    const int farBus = net.addNode();
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
    connectFault(net, faultNode, d, rf, turn);
    built.relayElement = relayElement;
    built.relayBus = relayBus;
    return built;
}

// What the relay measures in the steady state of the network.
inline RelayQuantities solveRelay(const KexCalculate::RlParameters& p, Cx e1, Cx e2, Disturbance d) {
    BuiltNetwork built = buildNetwork(p, e1, e2, d);
    built.net.solve();
    return {built.net.current(built.relayElement), built.net.voltage(built.relayBus)};
}

}  // namespace PhaseDomain
