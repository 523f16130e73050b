// Fonts by face name. A face counts as installed when the font system knows it (for the
// Cyrillic character set where the font asks for it) and can draw it at the asked character
// height; a raster face that has no size of that height counts as missing. A missing face is
// replaced by the first installed of its stand-ins, else by a face every Windows (and Wine) has.

#include "toolkit/win32/backend_win32.h"

#include <cstdlib>

namespace toolkit::detail::win32 {

namespace {

// Faces that every Windows has, and that Wine brings along: the last resort.
constexpr const wchar_t* lastResorts[] = {L"Tahoma", L"Arial"};

BYTE charsetOf(const FontSpec& requested) {
    return requested.charset == Charset::Cyrillic ? RUSSIAN_CHARSET : DEFAULT_CHARSET;
}

std::wstring upper(std::wstring text) {
    if (!text.empty()) {
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

struct Enumerated {
    bool found = false;
    bool scalable = false;
};

int CALLBACK onFace(const LOGFONTW*, const TEXTMETRICW*, DWORD type, LPARAM data) {
    auto* enumerated = reinterpret_cast<Enumerated*>(data);
    enumerated->found = true;
    if (!(type & RASTER_FONTTYPE)) {
        enumerated->scalable = true;
    }
    return 1;
}

} // namespace

FontBook::FontBook() : measuring_(CreateCompatibleDC(nullptr)) {
}

FontBook::~FontBook() {
    for (auto& [key, font] : fonts_) {
        DeleteObject(font);
    }
    DeleteDC(measuring_);
}

void FontBook::substitute(std::string_view face, const std::vector<std::string>& faces) {
    std::vector<std::wstring>& list = substitutes_[upper(widen(face))];
    list.clear();
    for (const std::string& substitute : faces) {
        list.push_back(widen(substitute));
    }
}

HFONT FontBook::create(const std::wstring& face, const FontSpec& requested) const {
    LOGFONTW logfont{};
    // A negative height asks for the character height, internal leading left out.
    logfont.lfHeight = -requested.height;
    logfont.lfWeight = FW_NORMAL;
    logfont.lfItalic = requested.style == FontStyle::Italic ? TRUE : FALSE;
    logfont.lfCharSet = charsetOf(requested);
    logfont.lfOutPrecision = OUT_DEFAULT_PRECIS;
    logfont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logfont.lfQuality = DEFAULT_QUALITY;
    logfont.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    wcsncpy(logfont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&logfont);
}

bool FontBook::drawable(const std::wstring& face, const FontSpec& requested) {
    const auto key = std::make_tuple(upper(face), requested.height, int(requested.style),
                                     int(requested.charset));
    if (auto known = drawable_.find(key); known != drawable_.end()) {
        return known->second;
    }
    LOGFONTW wanted{};
    wanted.lfCharSet = charsetOf(requested);
    wcsncpy(wanted.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    Enumerated enumerated;
    EnumFontFamiliesExW(measuring_, &wanted, onFace, reinterpret_cast<LPARAM>(&enumerated), 0);
    bool usable = enumerated.found;
    if (usable) {
        // The font system must give this face, at this character height: a raster face has
        // only its own sizes, and a size it lacks counts as missing.
        HFONT font = create(face, requested);
        HGDIOBJ previous = SelectObject(measuring_, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(measuring_, &metrics);
        wchar_t given[LF_FACESIZE] = {};
        GetTextFaceW(measuring_, LF_FACESIZE, given);
        SelectObject(measuring_, previous);
        DeleteObject(font);
        const int height = metrics.tmHeight - metrics.tmInternalLeading;
        const int tolerance = enumerated.scalable ? 1 : 0;
        usable = upper(given) == upper(face) && std::abs(height - requested.height) <= tolerance;
    }
    drawable_[key] = usable;
    traceStep(usable ? "font: found" : "font: missing", face);
    return usable;
}

std::wstring FontBook::faceFor(const FontSpec& requested) {
    const std::wstring face = widen(requested.face);
    if (drawable(face, requested)) {
        return face;
    }
    if (auto found = substitutes_.find(upper(face)); found != substitutes_.end()) {
        for (const std::wstring& substitute : found->second) {
            if (drawable(substitute, requested)) {
                return substitute;
            }
        }
    }
    for (const wchar_t* resort : lastResorts) {
        if (drawable(resort, requested)) {
            return resort;
        }
    }
    return face; // the font system's own choice
}

HFONT FontBook::font(const FontSpec& requested) {
    const std::wstring face = faceFor(requested);
    const auto key = std::make_tuple(upper(face), requested.height, int(requested.style),
                                     int(requested.charset));
    if (auto found = fonts_.find(key); found != fonts_.end()) {
        return found->second;
    }
    HFONT created = create(face, requested);
    fonts_[key] = created;
    return created;
}

int FontBook::lineHeight(HFONT font) const {
    HGDIOBJ previous = SelectObject(measuring_, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(measuring_, &metrics);
    SelectObject(measuring_, previous);
    return metrics.tmHeight;
}

SIZE FontBook::textExtent(HFONT font, std::wstring_view text) const {
    HGDIOBJ previous = SelectObject(measuring_, font);
    SIZE size{0, 0};
    GetTextExtentPoint32W(measuring_, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(measuring_, previous);
    return size;
}

} // namespace toolkit::detail::win32
