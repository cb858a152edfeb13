// The key map listing loader on any bytes; a listing it accepts must be written back by the
// editor and read again to the same model.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "keymap_editor/listing.h"

using namespace keymap_editor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    KeymapModel model;
    if (load_listing(bytes, model) != ListingResult::loaded) {
        return 0;
    }
    KeycodeList list;
    list.parse("Null\r\nA&B\r\nlast", false);
    KeymapModel again;
    if (load_listing(listing_text(model, list), again) != ListingResult::loaded ||
        again.current() != model.current()) {
        std::abort();
    }
    for (int k = 0; k < key_count; ++k) {
        const KeyRecord& a = model.record(k);
        const KeyRecord& b = again.record(k);
        if (a.keycode != b.keycode || a.attribute != b.attribute || a.size != b.size ||
            a.owner != b.owner || !model.selectable(model.current())) {
            std::abort();
        }
    }
    return 0;
}
