#include "core/tests/support/samples.h"

#include <functional>

namespace cartscope::testing {

namespace {

using Icon = std::array<std::uint8_t, 32 * 32>;

// Paints each pixel with the index that `shade` gives for its centre.
Icon paint(const std::function<std::uint8_t(double x, double y)>& shade) {
    Icon icon{};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) icon[static_cast<std::size_t>(y * 32 + x)] = shade(x + 0.5, y + 0.5);
    return icon;
}

// Shapes use only exact arithmetic (no trigonometry), so every platform draws
// the same pixels.
bool within(double x, double y, double cx, double cy, double r) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r; }

// Even-odd test against a star of five points around (16, 16.5).
bool inStar(double x, double y, double outer, double inner) {
    static const double kUnit[10][2] = {{0, -1}, {0.5878, -0.8090}, {0.9511, -0.3090}, {0.9511, 0.3090},   {0.5878, 0.8090},
                                        {0, 1},  {-0.5878, 0.8090}, {-0.9511, 0.3090}, {-0.9511, -0.3090}, {-0.5878, -0.8090}};
    // Even points are the tips (at -90, -18, 54, 126 and 198 degrees), odd ones the notches.
    bool inside = false;
    for (int i = 0, j = 9; i < 10; j = i++) {
        const double ri = (i % 2 == 0) ? outer : inner, rj = (j % 2 == 0) ? outer : inner;
        const double xi = 16 + ri * kUnit[i][0], yi = 16.5 + ri * kUnit[i][1];
        const double xj = 16 + rj * kUnit[j][0], yj = 16.5 + rj * kUnit[j][1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

// A five-pointed star on a night-blue disc.
Icon starIcon() {
    return paint([](double x, double y) -> std::uint8_t {
        if (!within(x, y, 16, 16.5, 15.5)) return 0;
        if (inStar(x, y, 11.5, 4.6)) return within(x, y, 16, 16.5, 2.5) ? 3 : 2;  // gold, light centre
        if (inStar(x, y, 13, 5.5)) return 4;                                      // outline
        return within(x, y, 16, 16.5, 14.5) ? 1 : 5;                              // sky, rim
    });
}

// A flower with four petals on a stem.
Icon flowerIcon() {
    return paint([](double x, double y) -> std::uint8_t {
        if (within(x, y, 16, 12, 3.5)) return 3;  // heart
        static const double kPetals[4][2] = {{4.25, 4.25}, {-4.25, 4.25}, {-4.25, -4.25}, {4.25, -4.25}};
        for (const auto& petal : kPetals) {
            if (within(x, y, 16 + petal[0], 12 + petal[1], 4.2)) return 1;
            if (within(x, y, 16 + petal[0], 12 + petal[1], 5.2)) return 4;
        }
        if (x > 14.8 && x < 17.2 && y > 15 && y < 29) return 2;  // stem
        if (within(x, y, 20.5, 22, 3) && y < 24) return 2;       // leaf
        if (y > 28 && y < 31 && x > 6 && x < 26) return 5;       // soil
        return 0;
    });
}

// A crescent moon with two stars.
Icon moonIcon() {
    return paint([](double x, double y) -> std::uint8_t {
        const bool disc = within(x, y, 15, 16, 12), shadow = within(x, y, 20, 13, 10);
        if (disc && !shadow) return within(x, y, 15, 16, 11) && !within(x, y, 20, 13, 11) ? 1 : 4;
        if (within(x, y, 25.5, 24.5, 1.5) || within(x, y, 27.5, 8.5, 1.1)) return 2;
        if (within(x, y, 15, 16, 13.5) && !within(x, y, 20, 13, 9)) return 3;  // glow
        return 0;
    });
}

}  // namespace

std::vector<Sample> sampleRoms() {
    std::vector<Sample> samples;

    Sample star{"star-courier.nds", {}};
    star.card.internalTitle = "STARCOURIER";
    star.card.gameCode = "KSCE";
    star.card.usedSize = 0xB4000;  // a 1 MiB card, not trimmed
    star.card.titles = {u"スター・クーリエ\n宇宙の宅配便\nCartscope Samples",
                        u"Star Courier\nParcels across the galaxy\nCartscope Samples",
                        u"Star Courier\nColis à travers la galaxie\nCartscope Samples",
                        u"Star Courier\nPakete durch die Galaxis\nCartscope Samples",
                        u"Corriere Stellare\nPacchi nella galassia\nCartscope Samples",
                        u"Mensajero Estelar\nPaquetes por la galaxia\nCartscope Samples"};
    star.card.icon = starIcon();
    star.card.palette = {rgb15(31, 0, 31),  rgb15(3, 4, 12),  rgb15(31, 26, 4),
                         rgb15(31, 31, 24), rgb15(20, 10, 0), rgb15(10, 12, 24)};
    samples.push_back(star);

    Sample garden{"pixel-garden.nds", {}};
    garden.card.internalTitle = "PIXELGARDEN";
    garden.card.gameCode = "KPGP";
    garden.card.usedSize = 0x1C8000;  // a 2 MiB card, trimmed
    garden.card.fileSize = 0x1C8000 + 512;
    garden.card.titles = {u"ピクセル・ガーデン\nCartscope Samples", u"Pixel Garden\nCartscope Samples",
                          u"Jardin de pixels\nCartscope Samples",   u"Pixelgarten\nCartscope Samples",
                          u"Giardino di pixel\nCartscope Samples",  u"Jardín de píxeles\nCartscope Samples"};
    garden.card.icon = flowerIcon();
    garden.card.palette = {0, rgb15(31, 12, 18), rgb15(6, 22, 6), rgb15(31, 28, 6), rgb15(20, 4, 10), rgb15(14, 8, 3)};
    samples.push_back(garden);

    Sample moon{"moon-lander-dsi.nds", {}};
    moon.card.internalTitle = "MOONLANDER";
    moon.card.gameCode = "KMLJ";
    moon.card.unitCode = 0x02;  // DSi-enhanced: its DSi code lies past the DS area
    moon.card.usedSize = 0x60000;
    moon.card.dsiUsedSize = 0x130000;  // a 2 MiB card; DSi homebrew ends at its DSi size
    moon.card.fileSize = 0x130000;
    moon.card.titles = {u"ムーンランダー\nCartscope Samples", u"Moon Lander\nCartscope Samples", u"", u"", u"", u""};
    moon.card.icon = moonIcon();
    moon.card.palette = {0, rgb15(30, 30, 22), rgb15(31, 31, 31), rgb15(8, 8, 18), rgb15(22, 20, 12)};
    samples.push_back(moon);

    return samples;
}

}  // namespace cartscope::testing
