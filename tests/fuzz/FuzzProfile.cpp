// The profile readers on any bytes: no crash, no empty term, and a quoted field never holds a
// line end.
#include "profiles/SearchProfile.h"
#include "replace/ReplaceProfile.h"

#include "common/text/ProfileFields.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const trawlex::ProfileField& field : trawlex::ReadProfileFields(bytes)) {
        if (field.value.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
    }
    for (const QString& term : trawlex::ReadSearchTerms(bytes)) {
        if (term.isEmpty()) {
            std::abort();
        }
    }
    for (const trawlex::ReplacePair& pair : trawlex::ReadReplacePairs(bytes).pairs) {
        if (pair.term.isEmpty()) {
            std::abort();
        }
    }
    return 0;
}
