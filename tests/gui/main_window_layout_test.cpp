// The main window on a real display with the longest information text there
// is (four firmware files whose names give no version): every shown control
// keeps its template rectangle, texts stay inside theirs, and no two shown
// controls overlap, in the idle and in the transfer layout. ctest runs it
// once per display scale and text size.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/test_environment.h"
#include "ui/upgrade_dlg.h"
#include "window/gtk/dialog_font.h"
#include "window/gtk/gtk_backend.h"
#include "window/ui_thread.h"

namespace {

struct Shown {
  const ControlTemplate* spec;
  GdkRectangle rect;
};

bool Overlap(const GdkRectangle& a, const GdkRectangle& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool Inside(const GdkRectangle& inner, const GdkRectangle& outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

std::string Describe(const Shown& c) {
  return std::to_string(c.spec->id) + " \"" + c.spec->text + "\" at " + std::to_string(c.rect.x) +
         "," + std::to_string(c.rect.y) + " " + std::to_string(c.rect.width) + "x" +
         std::to_string(c.rect.height);
}

// Checks the client area of the open main window; the layout's children come
// in template order.
void CheckLayout(GtkWindow* window, const char* layout) {
  SCOPED_TRACE(layout);
  const DialogTemplate& tmpl = DialogTemplateById(IDD_UPGRADE_DIALOG);
  const DialogBaseUnits base = MeasureDialogBaseUnits(tmpl.fontPointSize);
  GtkWidget* client = gtk_bin_get_child(GTK_BIN(window));
  EXPECT_EQ(gtk_widget_get_allocated_width(client), DialogUnitsToPixelsX(base, tmpl.cx));
  EXPECT_EQ(gtk_widget_get_allocated_height(client), DialogUnitsToPixelsY(base, tmpl.cy));

  GList* kids = gtk_container_get_children(GTK_CONTAINER(client));
  ASSERT_EQ(g_list_length(kids), tmpl.controls.size());
  std::vector<Shown> shown;
  std::size_t i = 0;
  for (GList* k = kids; k; k = k->next, ++i) {
    GtkWidget* outer = GTK_WIDGET(k->data);
    if (!gtk_widget_get_visible(outer)) continue;
    const ControlTemplate& spec = tmpl.controls[i];
    GtkAllocation got;
    gtk_widget_get_allocation(outer, &got);
    const PixelRect want = DialogRectToPixels(base, spec.x, spec.y, spec.cx, spec.cy);
    EXPECT_EQ(got.x, want.x) << spec.id;
    EXPECT_EQ(got.y, want.y) << spec.id;
    switch (spec.kind) {
      case ControlKind::StaticIcon:  // an icon control takes the icon's size
        EXPECT_EQ(got.width, 32) << spec.id;
        EXPECT_EQ(got.height, 32) << spec.id;
        break;
      case ControlKind::DropDownList:  // the template's height is that of the open list
        EXPECT_EQ(got.width, want.cx) << spec.id;
        EXPECT_LE(got.height, want.cy) << spec.id;
        break;
      case ControlKind::BlackFrame:  // a line is as thick as the theme draws it
        EXPECT_EQ(got.width, want.cx) << spec.id;
        EXPECT_LE(got.height, want.cy + 2) << spec.id;
        break;
      default:
        EXPECT_EQ(got.width, want.cx) << spec.id;
        EXPECT_EQ(got.height, want.cy) << spec.id;
    }
    // A text is cut off at its control's edge, never drawn past it.
    if (spec.kind == ControlKind::StaticText) {
      GtkWidget* label = outer;
      while (GTK_IS_BIN(label)) label = gtk_bin_get_child(GTK_BIN(label));
      GtkAllocation text;
      gtk_widget_get_allocation(label, &text);
      gtk_widget_translate_coordinates(label, client, 0, 0, &text.x, &text.y);
      EXPECT_TRUE(Inside(text, got)) << spec.id;
      int clipped = 0;
      pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &clipped);
      if (spec.id == IDC_INFO) {
        EXPECT_GT(clipped, text.height) << "the longest text is cut off";
      }
    }
    shown.push_back({&spec, got});
  }
  g_list_free(kids);

  for (std::size_t a = 0; a < shown.size(); ++a)
    for (std::size_t b = a + 1; b < shown.size(); ++b)
      EXPECT_FALSE(Overlap(shown[a].rect, shown[b].rect))
          << Describe(shown[a]) << " overlaps " << Describe(shown[b]);
}

struct Probe {
  CUpgradeDlg* dialog;
  int tick = 0;
};

gboolean OnTick(gpointer data) {
  auto* probe = static_cast<Probe*>(data);
  GtkWindow* window = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* w = toplevels; w; w = w->next)
    if (gtk_widget_get_mapped(GTK_WIDGET(w->data)) &&
        std::string(gtk_window_get_title(GTK_WINDOW(w->data)) ?: "") == "Reflint")
      window = GTK_WINDOW(w->data);
  g_list_free(toplevels);
  if (!window) return G_SOURCE_CONTINUE;
  switch (probe->tick++) {
    case 0:
      CheckLayout(window, "idle layout");
      probe->dialog->EnterTransferLayout();
      return G_SOURCE_CONTINUE;
    case 1:
      return G_SOURCE_CONTINUE;  // the new layout is allocated by the next frame
    default:
      CheckLayout(window, "transfer layout");
      probe->dialog->EndDialog(IDCANCEL);
      return G_SOURCE_REMOVE;
  }
}

TEST(MainWindowLayout, ShownControlsKeepTheirRectanglesAndNeverOverlap) {
  TestEnvironment env;
  env.AddFirmwareFiles({"HLX700.bin", "MV5100.bin", "TQ640.bin", "KII.bin"}).SetOpenPorts({3, 12});
  CUpgradeDlg dialog(env);
  Probe probe{&dialog};
  const guint source = g_timeout_add(100, &OnTick, &probe);
  dialog.DoModal();
  if (probe.tick < 3) g_source_remove(source);
  EXPECT_GE(probe.tick, 3) << "the window never showed";
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<Backend> backend = CreateGtkBackend(&argc, &argv);
  if (!backend) {
    std::fprintf(stderr, "main_window_layout_test: cannot open the display\n");
    return 1;
  }
  InstallBackend(std::move(backend));
  InstallProgramResources();
  return RUN_ALL_TESTS();
}
