#include "window/gtk/dialog_font.h"

#include <gtk/gtk.h>

#include <map>

#include "window/gtk/gobject_ref.h"

namespace {

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Controls sized in dialog units must fit their rectangles: trim the theme's
// generous paddings and minimum heights.
constexpr const char* kCompactCss = R"css(
.reflint-dialog button { padding: 0 6px; min-height: 0; min-width: 0; }
.reflint-dialog button.default { box-shadow: inset 0 0 0 1px #6b8fc4; }
.reflint-dialog combobox button { padding: 0 4px 0 6px; min-height: 0; }
.reflint-dialog combobox box { min-height: 0; }
.reflint-dialog frame.reflint-sunken > border { border-color: #a0a0a0; }
)css";

void AddScreenCss(const std::string& css) {
  GObjectRef<GtkCssProvider> provider(gtk_css_provider_new());
  gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                            GTK_STYLE_PROVIDER(provider.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

}  // namespace

DialogBaseUnits MeasureDialogBaseUnits(int pointSize) {
  static std::map<int, DialogBaseUnits> cache;
  if (auto it = cache.find(pointSize); it != cache.end()) return it->second;

  DialogBaseUnits units;
  GObjectRef<PangoContext> context(gdk_pango_context_get());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, kDialogFontFamily);
  pango_font_description_set_size(font, pointSize * PANGO_SCALE);

  GObjectRef<PangoLayout> layout(pango_layout_new(context.get()));
  pango_layout_set_font_description(layout.get(), font);
  pango_layout_set_text(layout.get(), kAlphabet, -1);
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout.get(), &width, &height);
  units.x = AverageCharWidth(width);

  PangoFontMetrics* metrics = pango_context_get_metrics(context.get(), font, nullptr);
  const int fontHeight = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                      pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  pango_font_description_free(font);
  units.y = fontHeight > 0 ? fontHeight : height;
  if (units.x <= 0) units.x = DialogBaseUnits{}.x;
  if (units.y <= 0) units.y = DialogBaseUnits{}.y;

  cache.emplace(pointSize, units);
  return units;
}

std::string DialogStyleClass(int pointSize) {
  static bool compactInstalled = false;
  static std::map<int, std::string> classes;
  if (!compactInstalled) {
    AddScreenCss(kCompactCss);
    compactInstalled = true;
  }
  if (auto it = classes.find(pointSize); it != classes.end()) return it->second;
  const std::string name = "reflint-font-" + std::to_string(pointSize);
  AddScreenCss("." + name + ", ." + name + " * { font-family: " + kDialogFontFamily +
               "; font-size: " + std::to_string(pointSize) + "pt; }");
  classes.emplace(pointSize, name);
  return name;
}
