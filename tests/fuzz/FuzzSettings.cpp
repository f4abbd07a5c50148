// The settings reader on any bytes: it never crashes, keeps each option group with exactly one
// choice, and what it read survives a save and a second read.
#include "app/Form1.h"
#include "app/Settings.h"
#include "common/text/TextEncoding.h"

#include "TestSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    trawlex::Form1 form;
    trawlex::test::FakeUi ui;
    if (!trawlex::ApplySettings(form, ui, bytes)) {
        return 0;
    }
    if (form.Optgrossklein == form.OptIGNORE || form.OptBrowser == form.OptZieldatei) {
        std::abort();
    }
    auto saved = trawlex::SettingsText(form);
    if (!saved) {
        return 0;  // a value the settings file cannot hold (a line break) is refused, not lost
    }
    // Windows-1252 bytes that happen to form UTF-8 (such as "Ã¤") are read back as UTF-8, the
    // way a settings file edited on Linux is read; the values then differ by design.
    if (trawlex::DetectEncoding(saved.value()).encoding == trawlex::TextEncoding::Utf8) {
        return 0;
    }
    trawlex::Form1 again;
    if (!trawlex::ApplySettings(again, ui, saved.value()) ||
        again.TexSuchbegriff.text != form.TexSuchbegriff.text ||
        again.TexSuchort.list != form.TexSuchort.list ||
        again.CheckRekursiv != form.CheckRekursiv) {
        std::abort();
    }
    return 0;
}
