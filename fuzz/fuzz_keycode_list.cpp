// The key code list on any bytes, in both code pages: at most 255 entries, texts within
// their buffers, and every listing written with it opens again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "keymap_editor/keycode_list.h"
#include "keymap_editor/listing.h"

using namespace keymap_editor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool shift_jis : {false, true}) {
        KeycodeList list;
        list.parse(bytes, shift_jis);
        if (list.size() > max_keycode_entries) {
            std::abort();
        }
        KeymapModel model;
        for (unsigned code = 0; code < 256; ++code) {
            if (list.name(code).size() > max_entry_text || list.caption(code).size() > max_caption ||
                list.name(code).find('\n') != std::string::npos) {
                std::abort();
            }
            if (code < key_count) {
                model.record(static_cast<int>(code)).keycode = static_cast<std::uint8_t>(code);
            }
        }
        KeymapModel again;
        if (load_listing(listing_text(model, list), again) != ListingResult::loaded) {
            std::abort();
        }
    }
    return 0;
}
