#include "support/symbol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace testkit {

namespace {

// MaxiCode: 33 rows of 30 hexagons, odd rows shifted right by half a module; rows are
// sqrt(3)/2 modules apart and the first row's centres lie 1/sqrt(3) below the top.
constexpr double kHexRowPitch = 0.86602540378443865;
constexpr double kHexFirstRow = 0.57735026918962576;

struct ZintDeleter {
    void operator()(zint_symbol *s) const { ZBarcode_Delete(s); }
};

// encoded_data is bit-packed, least significant bit first.
bool ZintModule(const zint_symbol *s, int row, int col) {
    return ((s->encoded_data[row][col >> 3] >> (col & 7)) & 1) != 0;
}

void CopyMatrix(const zint_symbol *s, Symbol *out) {
    out->rows = s->rows;
    out->cols = s->width;
    out->modules.assign(static_cast<size_t>(out->rows) * static_cast<size_t>(out->cols), 0);
    for (int r = 0; r < out->rows; ++r) {
        for (int c = 0; c < out->cols; ++c) {
            out->modules[static_cast<size_t>(r) * static_cast<size_t>(out->cols) + static_cast<size_t>(c)] = ZintModule(s, r, c) ? 1 : 0;
        }
    }
}

// Rows with a fixed height keep it; rows of height 0 share what the symbol height leaves.
void CopyRowHeights(const zint_symbol *s, Symbol *out) {
    double fixed = 0;
    int flexible = 0;
    for (int r = 0; r < s->rows; ++r) {
        if (s->row_height[r] > 0) fixed += s->row_height[r]; else ++flexible;
    }
    const double share = flexible > 0 ? std::max(1.0, (s->height - fixed) / flexible) : 0;
    out->rowTop.assign(static_cast<size_t>(s->rows) + 1, 0);
    for (int r = 0; r < s->rows; ++r) {
        const double h = s->row_height[r] > 0 ? s->row_height[r] : share;
        out->rowTop[static_cast<size_t>(r) + 1] = out->rowTop[static_cast<size_t>(r)] + h;
    }
    out->width = out->cols;
    out->height = out->rowTop.back();
}

}  // namespace

Symbol Encode(const SymbolInput &input) {
    Symbol out;
    out.symbology = input.symbology;
    std::unique_ptr<zint_symbol, ZintDeleter> s(ZBarcode_Create());
    if (!s) {
        out.error = "out of memory";
        return out;
    }
    s->symbology = input.symbology;
    s->input_mode = input.inputMode;
    s->option_1 = input.option1;
    s->option_2 = input.option2;
    s->option_3 = input.option3;
    s->eci = input.eci;
    s->show_hrt = 0;
    if (input.height > 0) s->height = input.height;
    if (!input.primary.empty()) {
        std::strncpy(s->primary, input.primary.c_str(), sizeof s->primary - 1);
    }
    if (input.structAppCount > 0) {
        s->structapp.index = input.structAppIndex;
        s->structapp.count = input.structAppCount;
        std::strncpy(s->structapp.id, input.structAppId.c_str(), sizeof s->structapp.id - 1);
    }
    s->output_options |= input.outputOptions;
    const int rc = ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char *>(input.data.data()),
                                   static_cast<int>(input.data.size()));
    out.error = s->errtxt;
    if (rc >= ZINT_ERROR) return out;
    out.symbology = s->symbology;  // libzint may substitute a related symbology
    CopyMatrix(s.get(), &out);
    if (s->symbology == BARCODE_MAXICODE) {
        if (ZBarcode_Buffer_Vector(s.get(), 0) >= ZINT_ERROR || s->vector == nullptr || s->width <= 0) {
            out.error = s->errtxt;
            return out;
        }
        const double unit = s->vector->width / s->width;
        out.hexagonal = true;
        out.rowTop.clear();
        out.width = s->vector->width / unit;
        out.height = s->vector->height / unit;
        out.hexRadius = s->vector->hexagons != nullptr ? s->vector->hexagons->diameter / unit / 2 : 0.5;
        for (const zint_vector_circle *c = s->vector->circles; c != nullptr; c = c->next) {
            out.bullseye = Point{c->x / unit, c->y / unit};
            const double r = c->diameter / unit / 2, w = c->width / unit;
            // A ring's stroke is centred on its radius; a circle without width is a disc.
            if (c->colour == 0) out.rings.push_back(w > 0 ? Symbol::Ring{r - w / 2, r + w / 2} : Symbol::Ring{0, r});
        }
    } else {
        CopyRowHeights(s.get(), &out);
    }
    out.ok = out.rows > 0 && out.cols > 0;
    return out;
}

Symbol FromModules(int rows, int cols, const std::vector<uint8_t> &modules) {
    Symbol out;
    if (rows <= 0 || cols <= 0 || modules.size() != static_cast<size_t>(rows) * static_cast<size_t>(cols)) {
        out.error = "module count does not match rows x cols";
        return out;
    }
    out.rows = rows;
    out.cols = cols;
    out.modules.resize(modules.size());
    for (size_t i = 0; i < modules.size(); ++i) out.modules[i] = modules[i] != 0 ? 1 : 0;
    out.rowTop.resize(static_cast<size_t>(rows) + 1);
    for (int r = 0; r <= rows; ++r) out.rowTop[static_cast<size_t>(r)] = r;
    out.width = cols;
    out.height = rows;
    out.ok = true;
    return out;
}

Symbol Encode(int symbology, const std::string &data) {
    SymbolInput input;
    input.symbology = symbology;
    input.data = data;
    return Encode(input);
}

Point Symbol::ModuleCentre(int row, int col) const {
    if (hexagonal) {
        return Point{col + 0.5 + ((row & 1) != 0 ? 0.5 : 0.0), kHexFirstRow + row * kHexRowPitch};
    }
    const double top = rowTop[static_cast<size_t>(row)], bottom = rowTop[static_cast<size_t>(row) + 1];
    return Point{col + 0.5, (top + bottom) / 2};
}

namespace {

// Pointy-topped hexagon of circumradius r centred at the origin.
bool InHexagon(double dx, double dy, double r) {
    dx = std::fabs(dx);
    dy = std::fabs(dy);
    return dx <= r * kHexRowPitch && dy + dx / std::sqrt(3.0) <= r;
}

}  // namespace

bool Symbol::DarkAt(Point p) const {
    if (!ok || p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) return false;
    if (!hexagonal) {
        const int col = static_cast<int>(p.x);
        // Rows are few; the row search is linear from an estimate.
        int row = static_cast<int>(p.y * rows / height);
        row = std::clamp(row, 0, rows - 1);
        while (row > 0 && p.y < rowTop[static_cast<size_t>(row)]) --row;
        while (row < rows - 1 && p.y >= rowTop[static_cast<size_t>(row) + 1]) ++row;
        return col < cols && Dark(row, col);
    }
    const double dx = p.x - bullseye.x, dy = p.y - bullseye.y;
    const double d = std::sqrt(dx * dx + dy * dy);
    for (const Ring &ring : rings) {
        if (d >= ring.inner && d <= ring.outer) return true;
    }
    const int r0 = static_cast<int>(std::floor((p.y - kHexFirstRow) / kHexRowPitch));
    for (int r = r0; r <= r0 + 1; ++r) {
        if (r < 0 || r >= rows) continue;
        const int c0 = static_cast<int>(std::lround(p.x - 0.5 - ((r & 1) != 0 ? 0.5 : 0.0)));
        for (int c = c0 - 1; c <= c0 + 1; ++c) {
            if (c < 0 || c >= cols || !Dark(r, c)) continue;
            const Point m = ModuleCentre(r, c);
            if (InHexagon(p.x - m.x, p.y - m.y, hexRadius)) return true;
        }
    }
    return false;
}

std::string Repeat(const std::string &unit, size_t n) {
    std::string s;
    while (!unit.empty() && s.size() < n) s += unit;
    s.resize(unit.empty() ? 0 : n);
    return s;
}

Symbol LongestRepeat(const std::string &unit, size_t maxLength,
                     const std::function<Symbol(const std::string &)> &make, std::string *data) {
    size_t lo = 0, hi = maxLength;
    Symbol best;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        Symbol s = make(Repeat(unit, mid));
        if (s.ok) {
            lo = mid;
            best = s;
        } else {
            hi = mid - 1;
        }
    }
    *data = Repeat(unit, lo);
    return best;
}

}  // namespace testkit
