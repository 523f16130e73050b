// Fonts by face name. A face counts as installed when the font system, asked for it by name,
// gives that face (with the Cyrillic character set where the font asks for it) at the asked
// character height; a raster face that has no size of that height counts as missing. A missing
// face is replaced by the first installed of its stand-ins, else by a face every Windows (and
// Wine) has. The font system is asked for the one face, never for the list of all faces, which
// is slow to make where many are installed.

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
    // Where the face is missing, or lacks the character set, the font system gives another face
    // or another character set. A raster face has only its own sizes, and a size it lacks
    // counts as missing; a scalable one may differ by a pixel from rounding.
    HFONT font = create(face, requested);
    HGDIOBJ previous = SelectObject(measuring_, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(measuring_, &metrics);
    wchar_t given[LF_FACESIZE] = {};
    GetTextFaceW(measuring_, LF_FACESIZE, given);
    const int charset = GetTextCharset(measuring_);
    SelectObject(measuring_, previous);
    DeleteObject(font);
    const bool scalable = (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) != 0;
    const int height = metrics.tmHeight - metrics.tmInternalLeading;
    const bool usable = upper(given) == upper(face) &&
                        (requested.charset != Charset::Cyrillic || charset == RUSSIAN_CHARSET) &&
                        std::abs(height - requested.height) <= (scalable ? 1 : 0);
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
