// Writes the benchmark corpus: a deterministic tree of HTML pages with titles and German text in
// Windows-1252, sizes from a few hundred bytes to a few MB, three files of about 50 MB, and the
// benchmark terms in about one file in ten.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A small generator of our own, so that the corpus is the same on every platform and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}

    std::uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

    std::size_t Below(std::size_t limit) { return static_cast<std::size_t>(Next() % limit); }

private:
    std::uint64_t state_;
};

// German words in Windows-1252, umlauts and ß included.
const std::vector<std::string_view>& Words() {
    static const std::vector<std::string_view> words = {
        "der",
        "die",
        "das",
        "und",
        "ist",
        "nicht",
        "mit",
        "auf",
        "f\xFCr",
        "\xFC"
        "ber",
        "Stadt",
        "Gemeinde",
        "Stra\xDF"
        "e",
        "Gr\xF6\xDF"
        "e",
        "Bev\xF6lkerung",
        "Fl\xE4"
        "che",
        "Kirche",
        "Schule",
        "Bahnhof",
        "Rathaus",
        "M\xFChle",
        "Br\xFC"
        "cke",
        "Wald",
        "Feld",
        "Geschichte",
        "Jahrhundert",
        "B\xFCrger",
        "Verwaltung",
        "Verkehr",
        "Wirtschaft",
        "\xC4nderung",
        "\xD6"
        "ffnungszeiten",
        "\xDC"
        "bersicht",
        "Sehensw\xFCrdigkeiten",
        "Veranstaltung",
        "Sommer",
        "Winter",
        "Fr\xFChling",
        "Herbst",
        "Markt",
        "Gasthaus",
        "Wanderweg",
        "Aussicht",
        "Ufer",
        "Hafen",
        "sch\xF6n",
        "gro\xDF",
        "kleine",
        "alte",
        "neue",
        "wurde",
        "werden",
        "hatte",
        "seit",
        "zwischen",
        "w\xE4hrend",
        "n\xF6rdlich",
        "s\xFC"
        "dlich",
    };
    return words;
}

// The terms the benchmark searches: an ASCII term and an umlaut term in several cases.
constexpr std::string_view kAsciiTerm = "Wasserkraftwerk";
const std::vector<std::string_view>& UmlautVariants() {
    static const std::vector<std::string_view> variants = {
        "\xDC"
        "berschwemmungsgebiet",
        "\xFC"
        "berschwemmungsgebiet",
        "\xDC"
        "BERSCHWEMMUNGSGEBIET"};
    return variants;
}

std::string Page(Random& random, std::size_t size, bool withAscii, bool withUmlaut) {
    std::string page = "<html><head><title>";
    for (int word = 0; word < 4; ++word) {
        page += Words()[random.Below(Words().size())];
        page += ' ';
    }
    page += "</title></head><body>\r\n<p>";
    const std::size_t insertAt = random.Below(std::max<std::size_t>(size, 1));
    bool inserted = false;
    std::size_t lineLength = 0;
    while (page.size() < size) {
        if (!inserted && page.size() >= insertAt) {
            if (withAscii) {
                page += kAsciiTerm;
                page += ' ';
            }
            if (withUmlaut) {
                page += UmlautVariants()[random.Below(UmlautVariants().size())];
                page += ' ';
            }
            inserted = true;
        }
        const std::string_view word = Words()[random.Below(Words().size())];
        page += word;
        lineLength += word.size() + 1;
        if (lineLength > 70) {
            page += random.Below(8) == 0 ? ".</p>\r\n<p>" : "\r\n";
            lineLength = 0;
        } else {
            page += ' ';
        }
    }
    if (!inserted) {
        page += withAscii ? std::string(kAsciiTerm) + " " : std::string();
        page += withUmlaut ? std::string(UmlautVariants()[0]) : std::string();
    }
    page += "</p>\r\n</body></html>\r\n";
    return page;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "Kann %s nicht schreiben\n", path.c_str());
        std::exit(1);
    }
}

std::vector<std::filesystem::path> MakeDirectories(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> directories{root};
    for (int first = 0; first < 12; ++first) {
        const auto level1 = root / ("bereich-" + std::to_string(first));
        directories.push_back(level1);
        for (int second = 0; second < 5; ++second) {
            const auto level2 = level1 / ("thema-" + std::to_string(second));
            directories.push_back(level2);
            for (int third = 0; third < 4; ++third) {
                directories.push_back(level2 / ("seite-" + std::to_string(third)));
            }
        }
    }
    for (const auto& directory : directories) {
        std::filesystem::create_directories(directory);
    }
    return directories;
}

std::uint64_t WritePart(const std::filesystem::path& root, std::uint64_t seed, int files) {
    Random random(seed);
    const auto directories = MakeDirectories(root);
    std::uint64_t total = 0;
    for (int index = 0; index < files; ++index) {
        // Most pages are small; a few reach 2 MB.
        const double skew = std::pow(random.Unit(), 22.0);
        const auto size = static_cast<std::size_t>(300.0 * std::exp(skew * std::log(2e6 / 300.0)));
        const bool withAscii = random.Below(10) == 0;
        const bool withUmlaut = random.Below(10) == 0;
        const std::size_t kind = random.Below(20);
        const char* extension = kind < 17 ? ".htm" : (kind < 19 ? ".txt" : ".css");
        const auto& directory = directories[random.Below(directories.size())];
        const std::string page = Page(random, size, withAscii, withUmlaut);
        WriteFile(directory / ("datei-" + std::to_string(index) + extension), page);
        total += page.size();
    }
    for (int big = 0; big < 3; ++big) {
        const std::string page = Page(random, 50u << 20, big == 0, big == 1);
        WriteFile(root / "bereich-0" / ("archiv-" + std::to_string(big) + ".htm"), page);
        total += page.size();
    }
    return total;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: %s ZIELVERZEICHNIS [FAKTOR]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path output = argv[1];
    const int scale = argc > 2 ? std::atoi(argv[2]) : 1;
    std::uint64_t total = 0;
    for (int part = 0; part < scale; ++part) {
        total += WritePart(output / ("teil-" + std::to_string(part)), 1000 + part, 20000);
    }
    std::printf("%d Teil(e), %.0f MB\n", scale, static_cast<double>(total) / 1e6);
    return 0;
}
