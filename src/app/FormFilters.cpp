#include "app/FormFilters.h"

#include "app/Form1.h"
#include "app/Ui.h"

namespace trawlex {

FilterTexts FilterTextsOf(const Form1& form) {
    return {.excludeFiles = form.TexAusnahmen,
            .excludeDirectories = form.TexOrdnerAuslassen,
            .minSize = form.TexGroesseAb,
            .maxSize = form.TexGroesseBis,
            .newer = form.TexGeaendertAb,
            .older = form.TexGeaendertVor,
            .skipBinary = form.CheckBinaerAuslassen != 0,
            .wholeWord = form.CheckGanzesWort != 0};
}

namespace {

const FilterNames& WindowNames() {
    static const FilterNames names{
        .excludeFiles = QStringLiteral("\u201EAusnahmen\u201C"),
        .excludeDirectories = QStringLiteral("\u201EOrdner auslassen\u201C"),
        .minSize = QStringLiteral("\u201EGr\u00F6\u00DFe ab\u201C"),
        .maxSize = QStringLiteral("\u201EGr\u00F6\u00DFe bis\u201C"),
        .newer = QStringLiteral("\u201EGe\u00E4ndert ab\u201C"),
        .older = QStringLiteral("\u201EGe\u00E4ndert vor\u201C"),
    };
    return names;
}

}  // namespace

std::optional<FileFilters> FiltersOf(const Form1& form, Ui& ui) {
    auto filters = ReadFilters(FilterTextsOf(form), WindowNames());
    if (!filters) {
        ui.ShowMessage(filters.message(), MessageIcon::Warning);
        return std::nullopt;
    }
    return std::move(filters.value());
}

FileFilters CheckedFilters(const Form1& form) {
    auto filters = ReadFilters(FilterTextsOf(form), WindowNames());
    return filters ? std::move(filters.value()) : FileFilters{};
}

}  // namespace trawlex
