#include "support/render.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace testkit {

namespace {

constexpr double kPi = 3.14159265358979323846;

// splitmix64: small, fast and the same everywhere, so a seed names the same frame on every
// machine that rounds doubles the same way.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // In (0, 1].
    double Uniform() { return (static_cast<double>(Next() >> 11) + 1.0) * (1.0 / 9007199254740992.0); }
    double Gaussian() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double r = std::sqrt(-2.0 * std::log(Uniform())), a = 2.0 * kPi * Uniform();
        spare_ = r * std::sin(a);
        haveSpare_ = true;
        return r * std::cos(a);
    }

private:
    uint64_t state_;
    double spare_ = 0;
    bool haveSpare_ = false;
};

void Multiply(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
        }
    }
}

void Invert(const double m[9], double out[9]) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const double det = a * A + b * B + c * C;
    const double k = det != 0 ? 1.0 / det : 0.0;
    out[0] = A * k;
    out[1] = -(b * i - c * h) * k;
    out[2] = (b * f - c * e) * k;
    out[3] = B * k;
    out[4] = (a * i - c * g) * k;
    out[5] = -(a * f - c * d) * k;
    out[6] = C * k;
    out[7] = -(a * h - b * g) * k;
    out[8] = (a * e - b * d) * k;
}

// The homography taking the unit square's corners (0,0), (1,0), (1,1), (0,1) to q[0..3].
void SquareToQuad(const std::array<Point, 4> &q, double m[9]) {
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dx3 = q[0].x - q[1].x + q[2].x - q[3].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, dy3 = q[0].y - q[1].y + q[2].y - q[3].y;
    double g = 0, h = 0;
    if (dx3 != 0 || dy3 != 0) {
        const double det = dx1 * dy2 - dx2 * dy1;
        if (det != 0) {
            g = (dx3 * dy2 - dx2 * dy3) / det;
            h = (dx1 * dy3 - dx3 * dy1) / det;
        }
    }
    m[0] = q[1].x - q[0].x + g * q[1].x;
    m[1] = q[3].x - q[0].x + h * q[3].x;
    m[2] = q[0].x;
    m[3] = q[1].y - q[0].y + g * q[1].y;
    m[4] = q[3].y - q[0].y + h * q[3].y;
    m[5] = q[0].y;
    m[6] = g;
    m[7] = h;
    m[8] = 1;
}

std::array<Point, 4> PlacedCorners(const Symbol &symbol, const RenderOptions &o) {
    if (o.corners) return *o.corners;
    const Point c = o.center.value_or(Point{o.width / 2.0, o.height / 2.0});
    const double w = symbol.width * o.moduleSize / 2, h = symbol.height * o.moduleSize / 2;
    const double top = std::clamp(1.0 - o.keystone, 0.1, 1.0);
    const std::array<Point, 4> local = {Point{-w * top, -h}, Point{w * top, -h}, Point{w, h}, Point{-w, h}};
    const double a = o.angleDeg * kPi / 180, ca = std::cos(a), sa = std::sin(a);
    std::array<Point, 4> out;
    for (size_t i = 0; i < 4; ++i) {
        out[i] = Point{c.x + local[i].x * ca - local[i].y * sa, c.y + local[i].x * sa + local[i].y * ca};
    }
    return out;
}

// The cylinder: a point at arc length u from the axis shows at R sin(u / R), scaled so that
// the symbol's left and right edges stay where they are.
double Bend(double u, double width, double bendRad) {
    if (bendRad <= 0) return u;
    const double half = width / 2;
    return half + half * std::sin(bendRad * (u - half) / width) / std::sin(bendRad / 2);
}

double Unbend(double u, double width, double bendRad) {
    if (bendRad <= 0) return u;
    const double half = width / 2;
    if (std::fabs(u - half) > half) return u;  // beyond the edges the paper is flat
    const double t = (u - half) / half * std::sin(bendRad / 2);
    return half + width / bendRad * std::asin(std::clamp(t, -1.0, 1.0));
}

}  // namespace

Point Transform::ToImage(Point p) const {
    if (mirror) p.x = symbolWidth - p.x;
    p.x = Bend(p.x, symbolWidth, bendRad);
    const double w = h[6] * p.x + h[7] * p.y + h[8];
    return Point{(h[0] * p.x + h[1] * p.y + h[2]) / w, (h[3] * p.x + h[4] * p.y + h[5]) / w};
}

bool Transform::ToSymbol(Point q, Point *out) const {
    const double w = inv[6] * q.x + inv[7] * q.y + inv[8];
    if (w == 0) return false;
    Point p{(inv[0] * q.x + inv[1] * q.y + inv[2]) / w, (inv[3] * q.x + inv[4] * q.y + inv[5]) / w};
    // Image points beyond the horizon map back to points that the forward map sends through
    // infinity: their forward denominator is not positive.
    if (h[6] * p.x + h[7] * p.y + h[8] <= 0) return false;
    p.x = Unbend(p.x, symbolWidth, bendRad);
    if (mirror) p.x = symbolWidth - p.x;
    *out = p;
    return true;
}

Transform MakeTransform(const Symbol &symbol, const RenderOptions &o) {
    Transform t;
    t.symbolWidth = symbol.width;
    t.symbolHeight = symbol.height;
    t.mirror = o.mirror;
    t.bendRad = std::clamp(o.bendDeg, 0.0, 179.0) * kPi / 180;
    if (symbol.width <= 0 || symbol.height <= 0) return t;
    double square[9];
    SquareToQuad(PlacedCorners(symbol, o), square);
    const double scale[9] = {1 / symbol.width, 0, 0, 0, 1 / symbol.height, 0, 0, 0, 1};
    Multiply(square, scale, t.h);
    Invert(t.h, t.inv);
    return t;
}

namespace {

void BlurRows(std::vector<double> &img, int w, int h, const std::vector<double> &k, bool vertical) {
    const int radius = static_cast<int>(k.size()) / 2;
    const int n = vertical ? h : w, lines = vertical ? w : h;
    std::vector<double> line(static_cast<size_t>(n));
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> double & {
            return vertical ? img[static_cast<size_t>(i) * static_cast<size_t>(w) + static_cast<size_t>(l)]
                            : img[static_cast<size_t>(l) * static_cast<size_t>(w) + static_cast<size_t>(i)];
        };
        for (int i = 0; i < n; ++i) {
            double sum = 0;
            for (int j = -radius; j <= radius; ++j) sum += k[static_cast<size_t>(j + radius)] * at(std::clamp(i + j, 0, n - 1));
            line[static_cast<size_t>(i)] = sum;
        }
        for (int i = 0; i < n; ++i) at(i) = line[static_cast<size_t>(i)];
    }
}

void GaussianBlur(std::vector<double> &img, int w, int h, double sigma) {
    if (sigma <= 0) return;
    const int radius = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
    std::vector<double> k(static_cast<size_t>(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += k[static_cast<size_t>(i + radius)] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double &v : k) v /= sum;
    BlurRows(img, w, h, k, false);
    BlurRows(img, w, h, k, true);
}

// What one sample point shows: ink, paper or what lies beyond the paper.
enum class Surface : uint8_t { kInk, kPaper, kBeyond };

Surface SampleSurface(const Symbol &symbol, const Transform &t, const RenderOptions &o, Point q) {
    Point p;
    if (!t.ToSymbol(q, &p)) return Surface::kBeyond;
    const bool onPaper = o.quietZone < 0 || (p.x >= -o.quietZone && p.y >= -o.quietZone &&
                                             p.x < symbol.width + o.quietZone && p.y < symbol.height + o.quietZone);
    if (!onPaper) return Surface::kBeyond;
    return symbol.DarkAt(p) ? Surface::kInk : Surface::kPaper;
}

double SurfaceLevel(Surface s, const RenderOptions &o) {
    switch (s) {
        case Surface::kInk: return o.invert ? o.light : o.dark;
        case Surface::kPaper: return o.invert ? o.dark : o.light;
        case Surface::kBeyond: break;
    }
    return o.background;
}

// The smallest side of a module in the image, probed over the symbol.
double MinModulePixels(const Symbol &symbol, const Transform &t) {
    double least = 1e9;
    for (int i = 0; i <= 8; ++i) {
        for (int j = 0; j <= 8; ++j) {
            const Point p{(symbol.width - 1) * i / 8.0, (symbol.height - 1) * j / 8.0};
            const Point a = t.ToImage(p), b = t.ToImage({p.x + 1, p.y}), c = t.ToImage({p.x, p.y + 1});
            least = std::min({least, std::hypot(b.x - a.x, b.y - a.y), std::hypot(c.x - a.x, c.y - a.y)});
        }
    }
    return least;
}

double SupersampledPixel(const Symbol &symbol, const Transform &t, const RenderOptions &o, int x, int y, int n) {
    double sum = 0;
    for (int sy = 0; sy < n; ++sy) {
        for (int sx = 0; sx < n; ++sx) {
            sum += SurfaceLevel(SampleSurface(symbol, t, o, Point{x + (sx + 0.5) / n, y + (sy + 0.5) / n}), o);
        }
    }
    return sum / (n * n);
}

// Pixels are supersampled; where modules are at least a pixel wide, a pixel whose corners,
// edge midpoints and centre all show the same surface takes that surface's level without
// it, which saves most of the work. Hexagons leave gaps thinner than a pixel: no shortcut.
void Rasterise(const Symbol &symbol, const Transform &t, const RenderOptions &o, std::vector<double> *img) {
    const int w = o.width, h = o.height, n = std::clamp(o.supersample, 1, 16);
    const bool shortcut = n > 1 && !symbol.hexagonal && MinModulePixels(symbol, t) >= 1.0;
    const size_t gw = shortcut ? 2 * static_cast<size_t>(w) + 1 : 0;
    std::vector<Surface> grid(shortcut ? gw * (2 * static_cast<size_t>(h) + 1) : 0);
    for (size_t j = 0; shortcut && j < grid.size() / gw; ++j) {
        for (size_t i = 0; i < gw; ++i) grid[j * gw + i] = SampleSurface(symbol, t, o, Point{i / 2.0, j / 2.0});
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double v = 0;
            bool uniform = shortcut;
            if (shortcut) {
                const size_t i0 = 2 * static_cast<size_t>(x), j0 = 2 * static_cast<size_t>(y);
                const Surface s = grid[j0 * gw + i0];
                for (size_t j = j0; j <= j0 + 2 && uniform; ++j) {
                    for (size_t i = i0; i <= i0 + 2 && uniform; ++i) uniform = grid[j * gw + i] == s;
                }
                v = SurfaceLevel(s, o);
            }
            (*img)[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                uniform ? v : SupersampledPixel(symbol, t, o, x, y, n);
        }
    }
}

}  // namespace

Rendered Render(const Symbol &symbol, const RenderOptions &o) {
    Rendered out;
    if (!symbol.ok || o.width <= 0 || o.height <= 0) return out;
    out.transform = MakeTransform(symbol, o);
    const int w = o.width, h = o.height;
    std::vector<double> img(static_cast<size_t>(w) * static_cast<size_t>(h));
    Rasterise(symbol, out.transform, o, &img);
    if (o.unevenLight > 0) {
        const double a = o.lightAngleDeg * kPi / 180, dx = std::cos(a), dy = std::sin(a);
        // Projections of the frame's corners bound the gradient.
        const double p[4] = {0, w * dx, h * dy, w * dx + h * dy};
        const double lo = *std::min_element(p, p + 4), hi = *std::max_element(p, p + 4);
        const double span = hi > lo ? hi - lo : 1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double t = ((x + 0.5) * dx + (y + 0.5) * dy - lo) / span;
                img[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] *= 1 - std::clamp(o.unevenLight, 0.0, 1.0) * t;
            }
        }
    }
    GaussianBlur(img, w, h, o.blurSigma);
    Rng rng(o.seed);
    out.frame = Frame(w, h);
    for (size_t i = 0; i < img.size(); ++i) {
        double v = img[i];
        if (o.noiseSigma > 0) v += o.noiseSigma * rng.Gaussian();
        out.frame.pixels[i] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    return out;
}

uint8_t SampleNearest(const Frame &frame, Point p) {
    const int x = std::clamp(static_cast<int>(std::floor(p.x)), 0, frame.width - 1);
    const int y = std::clamp(static_cast<int>(std::floor(p.y)), 0, frame.height - 1);
    return frame.At(x, y);
}

void PaintBlots(Frame &frame, int x0, int y0, int x1, int y1, uint64_t seed, int areaPerBlot) {
    const int w = frame.width, h = frame.height;
    std::mt19937_64 rng(seed);
    const int count = areaPerBlot > 0 ? (x1 - x0) * (y1 - y0) / areaPerBlot : 0;
    for (int k = 0; k < count; ++k) {
        const int cx = x0 + static_cast<int>(rng() % static_cast<uint64_t>(std::max(1, x1 - x0)));
        const int cy = y0 + static_cast<int>(rng() % static_cast<uint64_t>(std::max(1, y1 - y0)));
        const int d = 1 + static_cast<int>(rng() % 3);
        const uint8_t v = (rng() & 1) != 0 ? 30 : 220;
        for (int y = cy; y < cy + d; ++y)
            for (int x = cx; x < cx + d; ++x)
                if (x >= 0 && y >= 0 && x < w && y < h) frame.pixels[static_cast<size_t>(y) * w + x] = v;
    }
}

}  // namespace testkit
