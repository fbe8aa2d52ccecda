// Fonts and text: pango lays the text out (shaping every script and falling
// back to other installed fonts for missing glyphs) and cairo draws it with
// grayscale antialiasing into the bitmap, without a background.

#include <cstdlib>
#include <memory>

#include "platform/gdi/CairoTarget.h"
#include "platform/gdi/Objects.h"

// After our own headers: glib defines TRUE and FALSE as macros.
#include <pango/pangocairo.h>

namespace kelvane::gdi {

namespace {

PangoFontDescription* Describe(const LOGFONTA& request) {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, request.lfFaceName.c_str());
  pango_font_description_set_weight(
      description, request.lfWeight >= FW_BOLD ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(description,
                                   request.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // A negative height is the character height, which pango's absolute size
  // is; a positive one is the cell height, taken here as the same.
  const std::int32_t pixels = request.lfHeight == 0 ? 12 : std::abs(request.lfHeight);
  pango_font_description_set_absolute_size(description, static_cast<double>(pixels) * PANGO_SCALE);
  return description;
}

template <class T>
using GPtr = std::unique_ptr<T, decltype(&g_object_unref)>;

// The thread's layout, made once with its context (grayscale antialiasing,
// the thread's font map, whose fonts stay loaded), and brought up to date
// with each target before it draws.
PangoLayout* ThreadLayout() {
  thread_local const GPtr<PangoLayout> layout = [] {
    const GPtr<PangoContext> context(pango_font_map_create_context(pango_cairo_font_map_get_default()),
                                     &g_object_unref);
    const std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> options(
        cairo_font_options_create(), &cairo_font_options_destroy);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context.get(), options.get());
    return GPtr<PangoLayout>(pango_layout_new(context.get()), &g_object_unref);
  }();
  return layout.get();
}

}  // namespace

Font::Font(const LOGFONTA& fontRequest)
    : GdiObject(ObjectKind::Font), request(fontRequest), description(Describe(fontRequest)) {}

Font::~Font() { pango_font_description_free(description); }

HFONT CreateFontIndirectA(const LOGFONTA& font) {
  return AddObject(std::make_shared<Font>(font));
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  const auto dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  const COLORREF previous = dc->textColor;
  dc->textColor = color & 0x00FFFFFF;
  return previous;
}

BOOL TextOutA(HDC hdc, std::int32_t x, std::int32_t y, std::string_view text) {
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  CairoTarget target(*dc->bitmap.object, CAIRO_ANTIALIAS_GRAY);
  if (!target.Ok() || text.empty()) return TRUE;

  const std::unique_ptr<gchar, decltype(&g_free)> valid(
      g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())), &g_free);
  PangoLayout* layout = ThreadLayout();
  pango_cairo_update_context(target.get(), pango_layout_get_context(layout));
  pango_layout_context_changed(layout);

  const Font& font = *dc->font.object;
  pango_layout_set_font_description(layout, font.description);
  const std::unique_ptr<PangoAttrList, decltype(&pango_attr_list_unref)> attributes(
      font.request.lfUnderline ? pango_attr_list_new() : nullptr, &pango_attr_list_unref);
  if (attributes) pango_attr_list_insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  pango_layout_set_attributes(layout, attributes.get());
  pango_layout_set_text(layout, valid.get(), -1);

  target.SetColor(dc->textColor);
  cairo_move_to(target.get(), x, y);
  pango_cairo_show_layout(target.get(), layout);
  return TRUE;
}

}  // namespace kelvane::gdi
