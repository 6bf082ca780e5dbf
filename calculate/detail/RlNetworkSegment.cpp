#include "RlNetworkSegment.h"

#include <algorithm>
#include <cmath>

#include "MathConstants.h"

namespace KexCalculate {
namespace detail {

namespace {

// Below this fraction of the network's largest value an eigenvalue is taken as
// zero: a loop without inductance, a loop without resistance, a rounding
// residue of a positive semi-definite matrix.
constexpr double kNegligible = 1e-12;
// The modes carry the loops' flux linkage at the instant to within this
// fraction of the largest flux term; a well-posed network keeps it near 1e-15.
constexpr double kContinuityTolerance = 1e-9;

using Index = Eigen::Index;
using Matrix = RlNetworkSegment::BranchMatrix;
using Vector = RlNetworkSegment::BranchVector;
using Phasors = RlNetworkSegment::BranchPhasors;

Matrix symmetric(const Matrix& m) { return 0.5 * (m + m.transpose()); }

bool isPositiveSemiDefinite(const Matrix& m) {
    const double scale = m.cwiseAbs().maxCoeff();
    if (scale == 0.0) {
        return true;
    }
    const Eigen::SelfAdjointEigenSolver<Matrix> solver(symmetric(m), Eigen::EigenvaluesOnly);
    return solver.eigenvalues().minCoeff() >= -kNegligible * scale;
}

}  // namespace

int RlNetworkSegment::addNode() {
    if (_nodes == kMaxNodes) {
        _tooLarge = true;
        return kGround;
    }
    return _nodes++;
}

int RlNetworkSegment::addElement(int from, int to, const Matrix3& resistance, const Matrix3& inductance,
                                 const Phasor3& emf) {
    const int first = _branches;
    if (first + 3 > kMaxBranches) {
        _tooLarge = true;
        return first;
    }
    for (int phase = 0; phase < 3; ++phase) {
        _ends[first + phase] = {terminal(from, phase), terminal(to, phase)};
        _emf(first + phase) = emf(phase);
    }
    _resistance.block<3, 3>(first, first) = resistance;
    _inductance.block<3, 3>(first, first) = inductance;
    _elementStart[_elements] = first;
    _elementSize[_elements++] = 3;
    _branches += 3;
    return first;
}

int RlNetworkSegment::connect(int fromNode, int fromPhase, int toNode, int toPhase, double resistance) {
    const int branch = _branches;
    if (branch + 1 > kMaxBranches) {
        _tooLarge = true;
        return branch;
    }
    _ends[branch] = {terminal(fromNode, fromPhase), terminal(toNode, toPhase)};
    _resistance(branch, branch) = resistance;
    _elementStart[_elements] = branch;
    _elementSize[_elements++] = 1;
    ++_branches;
    return branch;
}

bool RlNetworkSegment::isPassive() const {
    for (int e = 0; e < _elements; ++e) {
        const Index first = _elementStart[e];
        const Index size = _elementSize[e];
        if (!isPositiveSemiDefinite(_resistance.block(first, first, size, size)) ||
            !isPositiveSemiDefinite(_inductance.block(first, first, size, size))) {
            return false;
        }
    }
    return true;
}

// The fundamental loops of a spanning forest of the network's graph (node
// phases and ground): each branch outside the forest closes one loop through
// the forest. Column k holds +1 or -1 for each branch the loop runs along or
// against, 0 elsewhere; every column obeys the current law.
RlNetworkSegment::BranchMatrix RlNetworkSegment::fundamentalLoops() const {
    const int vertices = 3 * _nodes + 1;  // the last one is ground
    const auto vertex = [&](int terminalIndex) { return terminalIndex == kGround ? vertices - 1 : terminalIndex; };
    // Forest branches by union-find, in branch order.
    int set[kMaxTerminals + 1];
    for (int v = 0; v < vertices; ++v) {
        set[v] = v;
    }
    const auto root = [&](int v) {
        while (set[v] != v) {
            v = set[v] = set[set[v]];
        }
        return v;
    };
    bool inForest[kMaxBranches] = {};
    int links = 0;
    for (int b = 0; b < _branches; ++b) {
        const int from = root(vertex(_ends[b].from));
        const int to = root(vertex(_ends[b].to));
        inForest[b] = from != to;
        links += inForest[b] ? 0 : 1;
        set[from] = to;
    }
    // Each vertex's parent in the forest, the branch to it and its depth.
    int parent[kMaxTerminals + 1];
    int parentBranch[kMaxTerminals + 1];
    int depth[kMaxTerminals + 1];
    std::fill(parent, parent + vertices, -1);
    int order[kMaxTerminals + 1];
    int visited = 0;
    for (int start = vertices - 1; start >= 0; --start) {
        if (parent[start] != -1) {
            continue;
        }
        parent[start] = start;
        depth[start] = 0;
        order[visited++] = start;
        for (int next = visited - 1; next < visited; ++next) {
            const int v = order[next];
            for (int b = 0; b < _branches; ++b) {
                const int from = vertex(_ends[b].from);
                const int to = vertex(_ends[b].to);
                const int other = from == v ? to : (to == v ? from : -1);
                if (!inForest[b] || other < 0 || parent[other] != -1) {
                    continue;
                }
                parent[other] = v;
                parentBranch[other] = b;
                depth[other] = depth[v] + 1;
                order[visited++] = other;
            }
        }
    }
    // A link from u to v returns from v to u through the forest: up from v to
    // the common ancestor (child to parent), then down to u (parent to child).
    Matrix loops = Matrix::Zero(_branches, links);
    Index column = 0;
    for (int b = 0; b < _branches; ++b) {
        if (inForest[b]) {
            continue;
        }
        loops(b, column) = 1.0;
        int up = vertex(_ends[b].to);
        int down = vertex(_ends[b].from);
        while (up != down) {
            const bool climbUp = depth[up] >= depth[down];
            int& v = climbUp ? up : down;
            const int e = parentBranch[v];
            const bool along = vertex(_ends[e].from) == v;  // the branch points from child to parent
            loops(e, column) += along == climbUp ? 1.0 : -1.0;
            v = parent[v];
        }
        ++column;
    }
    return loops;
}

// Inductances and resistances many orders of magnitude apart (a frequency of
// 1e-200 Hz gives henries of 1e200) overflow the elimination: no solution.
RlNetworkSegment::Status RlNetworkSegment::outOfRange() {
    _steadyState = Phasors::Zero(_branches);
    _decayRates.resize(0);
    _modeCurrents.resize(_branches, 0);
    return Status::NotFinite;
}

RlNetworkSegment::Status RlNetworkSegment::solve(double omega, const BranchVector* startCurrents) {
    const Index m = _branches;
    _steadyState = Phasors::Zero(m);
    _decayRates.resize(0);
    _modeCurrents.resize(m, 0);
    if (_tooLarge) {
        return Status::TooLarge;
    }
    const Matrix r = _resistance.topLeftCorner(m, m);
    const Matrix l = _inductance.topLeftCorner(m, m);
    const Phasors e = _emf.head(m);
    if (!(omega > 0.0) || !std::isfinite(omega) || !r.allFinite() || !l.allFinite() || !e.allFinite() ||
        (startCurrents != nullptr && (startCurrents->size() != m || !startCurrents->allFinite()))) {
        return Status::NotFinite;
    }
    if (!isPassive()) {
        return Status::NotPassive;
    }

    const Matrix loops = fundamentalLoops();
    const Index p = loops.cols();
    if (p == 0) {
        return Status::Solved;  // no loop, no current
    }
    // N^T L and N^T R element by element (they are block diagonal), then the
    // loop matrices, coefficient by coefficient: cheaper than the blocked
    // product kernels at these sizes.
    Matrix loopFlux(p, m);  // each loop's flux per branch current
    Matrix loopDrop(p, m);
    for (int element = 0; element < _elements; ++element) {
        const Index first = _elementStart[element];
        const Index size = _elementSize[element];
        const auto rows = loops.middleRows(first, size).transpose();
        loopFlux.middleCols(first, size) = rows.lazyProduct(l.block(first, first, size, size));
        loopDrop.middleCols(first, size) = rows.lazyProduct(r.block(first, first, size, size));
    }
    const Matrix ly = symmetric(loopFlux.lazyProduct(loops));
    const Matrix ry = symmetric(loopDrop.lazyProduct(loops));

    // A loop with neither resistance nor inductance makes Ry + omega Ly singular.
    const Eigen::LDLT<Matrix> loopImpedance(ry + omega * ly);
    const Vector impedanceD = loopImpedance.vectorD();
    if (!(impedanceD.minCoeff() > kNegligible * impedanceD.maxCoeff())) {
        return Status::LoopWithoutImpedance;
    }
    // The sinusoidal steady state (Ry + j omega Ly) Y = N^T E, in real and
    // imaginary parts.
    Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor, 2 * kMaxBranches, 2 * kMaxBranches> z(2 * p,
                                                                                                            2 * p);
    z << ry, -omega * ly, omega * ly, ry;
    Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, 2 * kMaxBranches, 1> source(2 * p);
    source << loops.transpose().lazyProduct(e.real()), loops.transpose().lazyProduct(e.imag());
    const auto y = z.partialPivLu().solve(source).eval();
    _steadyState.real() = loops.lazyProduct(y.head(p));
    _steadyState.imag() = loops.lazyProduct(y.tail(p));
    if (!_steadyState.allFinite()) {
        return outOfRange();
    }
    if (startCurrents == nullptr) {
        return Status::Solved;
    }

    // Loop coordinates y = T y~ that make Ly diagonal, T = P^T Lf^-T from the
    // pivoted factorisation P Ly P^T = Lf D Lf^T: the inductive loops z (D
    // above the negligible) first, the loops without inductance w after them.
    const Eigen::LDLT<Matrix> factors(ly);
    const Vector d = factors.vectorD();
    Index q = 0;
    while (q < p && d(q) > kNegligible * d(0)) {
        ++q;
    }
    if (q == 0) {
        return Status::Solved;  // nothing inductive: no mode
    }
    const Index resistive = p - q;
    Matrix t = factors.matrixU().solve(Matrix::Identity(p, p));  // Lf^-T
    t = factors.transpositionsP().transpose() * t;
    const Matrix t1 = t.leftCols(q);
    const Matrix t0 = t.rightCols(resistive);

    // The loops without inductance follow at once: w = r00^-1 (sources - r01 z).
    const Matrix ryt = ry.lazyProduct(t);
    const Matrix rt = symmetric(t.transpose().lazyProduct(ryt));
    Matrix follow = Matrix::Zero(resistive, q);
    if (resistive > 0) {
        const Eigen::LLT<Matrix> r00(rt.bottomRightCorner(resistive, resistive));
        if (r00.info() != Eigen::Success) {
            return Status::LoopWithoutImpedance;
        }
        follow = r00.solve(rt.bottomLeftCorner(resistive, q));
    }
    // The inductive loops scaled to s = D^1/2 z obey s' = -M s + ..., M symmetric.
    const Vector rootD = d.head(q).cwiseSqrt();
    const Vector inverseRootD = rootD.cwiseInverse();
    const Matrix reduced = rt.topLeftCorner(q, q) - rt.bottomLeftCorner(resistive, q).transpose() * follow;
    const Eigen::SelfAdjointEigenSolver<Matrix> modes(
        symmetric(inverseRootD.asDiagonal() * reduced * inverseRootD.asDiagonal()));
    Vector rates = modes.eigenvalues();
    const double rateMax = rates(q - 1);
    for (Index k = 0; k < q; ++k) {
        if (!(rates(k) > kNegligible * rateMax)) {
            rates(k) = 0.0;  // no resistance in the loop: the current stays
        }
    }

    // Each inductive loop keeps its flux linkage D z = T1^T N^T L i, so the
    // modes carry s = D^-1/2 T1^T N^T L i of the start currents less that of
    // the steady state's currents at the start.
    const Vector steadyStart = kSqrt2 * _steadyState.imag();
    const Vector flux = loopFlux * (*startCurrents - steadyStart);
    const Vector amplitudes = modes.eigenvectors().transpose() * (inverseRootD.asDiagonal() * (t1.transpose() * flux));
    const Matrix loopShapes = (t1 - t0.lazyProduct(follow)).lazyProduct(inverseRootD.asDiagonal() * modes.eigenvectors());
    const Matrix shapes = loops.lazyProduct(loopShapes);
    _modeCurrents = shapes * amplitudes.asDiagonal();
    _decayRates = rates;
    // The modes together must carry the flux linkage of every loop at the
    // instant; where rounding has destroyed that, there is no solution.
    const Vector carried = loopFlux * _modeCurrents.rowwise().sum();
    const double fluxScale =
        (loopFlux.cwiseAbs() * (startCurrents->cwiseAbs() + steadyStart.cwiseAbs())).lpNorm<Eigen::Infinity>();
    if (!_modeCurrents.allFinite() || !_decayRates.allFinite() ||
        !((carried - flux).lpNorm<Eigen::Infinity>() <= kContinuityTolerance * fluxScale)) {
        return outOfRange();
    }
    return Status::Solved;
}

}  // namespace detail
}  // namespace KexCalculate
