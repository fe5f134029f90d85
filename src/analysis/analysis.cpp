#include "analysis/analysis.h"

#include "model/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace brownian {

namespace {

/// Least-squares slope of y against x.
double slope(const double *x, const double *y, int n)
{
    double mx = 0, my = 0;
    for (int k = 0; k < n; ++k) {
        mx += x[k];
        my += y[k];
    }
    mx /= n;
    my /= n;
    double sxy = 0, sxx = 0;
    for (int k = 0; k < n; ++k) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
    }
    return sxx > 0 ? sxy / sxx : std::numeric_limits<double>::quiet_NaN();
}

/// Parameters of the distribution: the largest squared speed and the exponent.
struct Shape
{
    double maxSquared = 0;
    int exponent = 0;
};

Shape shapeOf(int particles, double sumSquares, bool torus)
{
    if (torus) {
        if (particles <= 1)
            return { 0.0, 0 };
        return { (1.0 - 1.0 / particles) * sumSquares, particles - 2 };
    }
    return { sumSquares, particles - 1 };
}

} // namespace

std::optional<DiffusionFit> fitDiffusion(const std::vector<MsdPoint> &points)
{
    const int n = static_cast<int>(points.size());
    std::vector<double> lx(n), ly(n);
    std::vector<bool> diffusive(n, false);
    for (int k = 0; k < n; ++k) {
        lx[k] = std::log(static_cast<double>(points[k].lag));
        ly[k] = points[k].msd > 0 ? std::log(points[k].msd) : -INFINITY;
    }
    for (int k = 0; k < n; ++k) {
        const int from = std::max(0, k - 2), to = std::min(n - 1, k + 2);
        bool finite = true;
        for (int m = from; m <= to; ++m)
            finite = finite && std::isfinite(ly[m]);
        if (!finite || to - from < 2)
            continue;
        const double a = slope(&lx[from], &ly[from], to - from + 1);
        diffusive[k] = std::fabs(a - 1.0) <= 0.2;
    }
    int bestFrom = 0, bestLength = 0;
    for (int k = 0; k < n;) {
        if (!diffusive[k]) {
            ++k;
            continue;
        }
        int end = k;
        while (end < n && diffusive[end])
            ++end;
        if (end - k > bestLength) {
            bestFrom = k;
            bestLength = end - k;
        }
        k = end;
    }
    if (bestLength < 4)
        return std::nullopt;
    std::vector<double> x(bestLength), y(bestLength);
    for (int k = 0; k < bestLength; ++k) {
        x[k] = static_cast<double>(points[bestFrom + k].lag);
        y[k] = points[bestFrom + k].msd;
    }
    const double a = slope(x.data(), y.data(), bestLength);
    if (!(a > 0))
        return std::nullopt;
    double mx = 0, my = 0;
    for (int k = 0; k < bestLength; ++k) {
        mx += x[k];
        my += y[k];
    }
    DiffusionFit fit;
    fit.coefficient = a / 4.0;
    fit.intercept = (my - a * mx) / bestLength;
    fit.fromLag = points[bestFrom].lag;
    fit.toLag = points[bestFrom + bestLength - 1].lag;
    return fit;
}

double expectedSpeedCdf(double speed, int particles, double sumSquares, bool torus)
{
    const Shape shape = shapeOf(particles, sumSquares, torus);
    if (!(shape.maxSquared > 0))
        return 1.0; // every speed is zero
    const double x = speed * speed / shape.maxSquared;
    if (x >= 1.0)
        return 1.0;
    return 1.0 - std::pow(1.0 - x, shape.exponent);
}

double speedSupport(int particles, double sumSquares, bool torus)
{
    const Shape shape = shapeOf(particles, sumSquares, torus);
    return shape.maxSquared > 0 ? std::sqrt(shape.maxSquared) : 0.0;
}

double sumSquaredSpeeds(const float *vx, const float *vy, int particles, bool relative)
{
    double mx = 0, my = 0;
    if (relative && particles > 0) {
        for (int i = 0; i < particles; ++i) {
            mx += vx[i];
            my += vy[i];
        }
        mx /= particles;
        my /= particles;
    }
    double sum = 0;
    for (int i = 0; i < particles; ++i) {
        const double ux = vx[i] - mx, uy = vy[i] - my;
        sum += ux * ux + uy * uy;
    }
    return sum;
}

SpeedHistogram::SpeedHistogram(int particles, bool torus, double startSumSquares)
    : m_particles(particles)
    , m_torus(torus)
    , m_fine(kFineBins, 0)
    , m_speed(particles)
{
    m_top = 1.05 * speedSupport(particles, startSumSquares, torus);
    if (!(m_top > 0) || !std::isfinite(m_top))
        m_top = 1.0;
}

void SpeedHistogram::add(const float *vx, const float *vy)
{
    const int n = m_particles;
    double mx = 0, my = 0;
    if (m_torus) {
        for (int i = 0; i < n; ++i) {
            mx += vx[i];
            my += vy[i];
        }
        mx /= n;
        my /= n;
    }
    const double perBin = kFineBins / m_top;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const double ux = vx[i] - mx, uy = vy[i] - my;
        const double squared = ux * ux + uy * uy;
        sum += squared;
        const double speed = std::sqrt(squared);
        m_maxSpeed = std::max(m_maxSpeed, speed);
        const double bin = std::floor(speed * perBin);
        ++m_fine[bin < kFineBins ? static_cast<std::size_t>(bin) : kFineBins - 1];
    }
    m_sumOfSums += sum;
    ++m_samples;
}

double SpeedHistogram::meanSumSquares() const
{
    return m_samples ? m_sumOfSums / static_cast<double>(m_samples) : 0.0;
}

std::vector<SpeedBin> SpeedHistogram::result(int bins) const
{
    std::vector<SpeedBin> out;
    if (m_samples == 0 || bins < 1)
        return out;
    const double sumSquares = meanSumSquares();
    const double total = static_cast<double>(m_samples) * m_particles;
    const double width = m_top / kFineBins;

    int top = 0;
    for (int k = 0; k < kFineBins; ++k) {
        if (m_fine[k] != 0)
            top = k;
    }
    // Beyond speed vq less than half a count is expected: 1 − F(vq) = 0.5 / total.
    const Shape shape = shapeOf(m_particles, sumSquares, m_torus);
    double vq = shape.maxSquared > 0 ? std::sqrt(shape.maxSquared) : 0.0;
    if (shape.exponent > 0 && shape.maxSquared > 0) {
        const double x = 1.0 - std::pow(0.5 / total, 1.0 / shape.exponent);
        vq = std::sqrt(std::max(0.0, x) * shape.maxSquared);
    }
    top = std::max(top, std::min(kFineBins - 1, static_cast<int>(std::floor(vq / width))));

    const int fine = top + 1;
    const int perBin = (fine + bins - 1) / bins;
    const int count = (fine + perBin - 1) / perBin;
    for (int b = 0; b < count; ++b) {
        const int from = b * perBin;
        const int to = std::min(from + perBin, kFineBins);
        SpeedBin bin;
        bin.low = from * width;
        bin.high = to * width;
        for (int k = from; k < to; ++k)
            bin.count += m_fine[k];
        if (b == count - 1 && m_maxSpeed >= bin.high)
            bin.high = std::nextafter(m_maxSpeed, INFINITY); // speeds beyond the fine range
        bin.expected = total
            * (expectedSpeedCdf(bin.high, m_particles, sumSquares, m_torus)
                - expectedSpeedCdf(bin.low, m_particles, sumSquares, m_torus));
        out.push_back(bin);
    }
    return out;
}

double fieldArea(bool unbounded)
{
    const double side = unbounded ? field::kPeriod : field::kBoxSide;
    return side * side;
}

double fieldPackingFraction(bool unbounded, int numSide, int size)
{
    const double n = static_cast<double>(numSide) * numSide;
    const double radius = size / 2.0;
    return n * std::numbers::pi * radius * radius / fieldArea(unbounded);
}

double contactValue(double eta)
{
    return (1.0 - 7.0 * eta / 16.0) / ((1.0 - eta) * (1.0 - eta));
}

// In the first Chapman–Enskog approximation D = (kT/m) / ν, ν the rate at which a tagged disc
// loses its velocity. In 2-D a disc meets others at relative velocity g and angle θ at the rate
// n g(σ) σ |g| cos θ dθ and loses the normal component (g·k) k, which integrates to
// (dv₁/dt) = −(4/3) n g(σ) σ ⟨|g| g⟩; with ⟨|g|³⟩ = 3 sqrt(π/2) (2kT/m)^{3/2} for the Rayleigh
// distributed |g|, ν = 2 n g(σ) σ sqrt(π kT/m) and D = sqrt(kT/(π m)) / (2 n σ g(σ)). Here m = 1,
// lengths are twips and times sub-steps, so D is in the unit of the fit MSD = 4 D lag.
double enskogDiffusion(double density, double size, double eta, double thermal)
{
    return std::sqrt(thermal / std::numbers::pi) / (2.0 * density * size * contactValue(eta));
}

std::pair<double, std::optional<double>> meanAndError(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    const double mean = sum / static_cast<double>(values.size());
    if (values.size() < 2)
        return { mean, std::nullopt };
    double squares = 0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double n = static_cast<double>(values.size());
    return { mean, std::sqrt(squares / (n - 1) / n) };
}

} // namespace brownian
