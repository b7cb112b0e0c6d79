// The controls of a GtkDialogWindow: making them from the template and the
// WindowPeer operations on them.
#include <algorithm>

#include "window/dialog.h"
#include "window/gtk/clip_box.h"
#include "window/gtk/display_text.h"
#include "window/gtk/gtk_dialog_window.h"
#include "window/gtk/gtk_images.h"
#include "window/resources.h"
#include "window/window_types.h"

namespace {

constexpr int kIconSize = 32;  // what Windows reports as SM_CXICON
constexpr int kSmallIconSize = 16;
constexpr int kOneLineUnits = 12;  // a static text taller than one line (in dialog units) wraps
// Room between a sunken frame and its text, so that the text never touches
// the frame.
constexpr int kSunkenMarginX = 3;
constexpr int kSunkenMarginY = 2;

void SetAccessibleName(GtkWidget* widget, const std::string& name) {
  if (AtkObject* accessible = gtk_widget_get_accessible(widget))
    atk_object_set_name(accessible, ToDisplayUtf8(name).c_str());
}

// Names the icon, clip and bar for screen readers: a string resource of the
// same id when the program has one, otherwise what the control is.
std::string AccessibleName(int resourceId, const char* fallback) {
  std::string name = resourceId != 0 ? LoadStringResource(resourceId) : std::string();
  return name.empty() ? fallback : name;
}

GtkWidget* InSunkenFrame(GtkWidget* child) {
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
  gtk_style_context_add_class(gtk_widget_get_style_context(frame), "reflint-sunken");
  gtk_container_add(GTK_CONTAINER(frame), child);
  return frame;
}

// The theme draws a thin bar in the middle of its rectangle; a progress
// control fills its rectangle.
void FillHeight(GtkWidget* bar, int height) {
  const std::string css = "progressbar trough, progressbar progress { min-height: " +
                          std::to_string(height > 4 ? height - 2 : 2) + "px; }";
  GObjectRef<GtkCssProvider> provider(gtk_css_provider_new());
  gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(bar),
                                 GTK_STYLE_PROVIDER(provider.get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

}  // namespace

std::unique_ptr<GtkDialogWindow::Control> GtkDialogWindow::MakeControl(
    const ControlTemplate& spec) {
  auto control = std::make_unique<Control>();
  control->owner = this;
  control->spec = &spec;
  control->text = spec.text;
  const PixelRect rect = DialogRectToPixels(base_, spec.x, spec.y, spec.cx, spec.cy);
  int width = rect.cx;
  int height = rect.cy;

  switch (spec.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      GtkWidget* button = gtk_button_new();
      gtk_button_set_use_underline(GTK_BUTTON(button), TRUE);
      g_signal_connect(button, "clicked", G_CALLBACK(&GtkDialogWindow::OnClicked), control.get());
      if (spec.kind == ControlKind::DefPushButton) gtk_widget_set_can_default(button, TRUE);
      control->widget = button;
      control->outer = ClipBoxNew(button);
      break;
    }
    case ControlKind::StaticText: {
      GtkWidget* label = gtk_label_new(nullptr);
      const bool centred = (spec.style & kStyleCenter) != 0;
      const bool wrap = (spec.style & kStyleWordWrap) != 0 || spec.cy > kOneLineUnits;
      gtk_label_set_line_wrap(GTK_LABEL(label), wrap);
      gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
      // A wrapping label asks for the width of its text on one line, which
      // would widen the window; the template's rectangle decides instead.
      if (wrap) gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
      gtk_label_set_xalign(GTK_LABEL(label), centred ? 0.5f : 0.0f);
      gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
      gtk_label_set_justify(GTK_LABEL(label), centred ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
      control->widget = label;
      // The text wraps inside the template's rectangle and is cut off at its
      // edge, as a static control's is; it never grows the control.
      if ((spec.style & (kStyleSunken | kStyleBorder)) != 0) {
        gtk_widget_set_margin_start(label, kSunkenMarginX);
        gtk_widget_set_margin_end(label, kSunkenMarginX);
        gtk_widget_set_margin_top(label, kSunkenMarginY);
        gtk_widget_set_margin_bottom(label, kSunkenMarginY);
        control->outer = InSunkenFrame(ClipBoxNew(label));
      } else {
        control->outer = ClipBoxNew(label);
      }
      break;
    }
    case ControlKind::StaticIcon: {
      GObjectRef<GdkPixbuf> icon = LoadIconPixbuf(spec.iconId, kIconSize);
      GtkWidget* image = icon ? gtk_image_new_from_pixbuf(icon.get()) : gtk_image_new();
      SetAccessibleName(image, AccessibleName(spec.iconId, "Icon"));
      control->widget = control->outer = image;
      // An icon control takes the icon's size, as on Windows.
      if ((spec.style & kStyleCentreImage) == 0) {
        gtk_widget_set_halign(image, GTK_ALIGN_START);
        width = height = kIconSize;
      }
      break;
    }
    case ControlKind::GroupBox: {
      GtkWidget* frame = gtk_frame_new(nullptr);
      gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_ETCHED_IN);
      control->widget = control->outer = frame;
      break;
    }
    case ControlKind::DropDownList: {
      GtkWidget* combo = gtk_combo_box_text_new();
      g_signal_connect(combo, "changed", G_CALLBACK(&GtkDialogWindow::OnComboChanged),
                       control.get());
      g_signal_connect(combo, "notify::popup-shown", G_CALLBACK(&GtkDialogWindow::OnComboPopup),
                       control.get());
      control->widget = control->outer = combo;
      height = -1;  // the template's height is that of the open list
      break;
    }
    case ControlKind::ProgressBar: {
      GtkWidget* bar = gtk_progress_bar_new();
      FillHeight(bar, height);
      SetAccessibleName(bar, "Progress");
      control->widget = bar;
      control->outer = ClipBoxNew(bar);
      break;
    }
    case ControlKind::BlackFrame: {
      if (spec.cy <= 1 || spec.cx <= 1) {
        const bool horizontal = spec.cy <= spec.cx;
        control->widget =
            gtk_separator_new(horizontal ? GTK_ORIENTATION_HORIZONTAL : GTK_ORIENTATION_VERTICAL);
        if (horizontal)
          height = -1;
        else
          width = -1;
      } else {
        control->widget = gtk_frame_new(nullptr);
        gtk_frame_set_shadow_type(GTK_FRAME(control->widget), GTK_SHADOW_IN);
      }
      control->outer = control->widget;
      break;
    }
    case ControlKind::Animation: {
      GtkWidget* image = gtk_image_new();
      const bool centred = (spec.style & kStyleCentreImage) != 0;
      gtk_widget_set_halign(image, centred ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
      gtk_widget_set_valign(image, centred ? GTK_ALIGN_CENTER : GTK_ALIGN_START);
      SetAccessibleName(image, "Animation");
      control->clip = std::make_unique<ClipPlayer>(GTK_IMAGE(image));
      control->widget = image;
      GtkWidget* box = ClipBoxNew(image);
      control->outer = (spec.style & kStyleBorder) != 0 ? InSunkenFrame(box) : box;
      break;
    }
  }

  gtk_widget_set_size_request(control->outer, width, height);
  gtk_layout_put(GTK_LAYOUT(client_), control->outer, rect.x, rect.y);
  ShowText(*control);
  gtk_widget_show_all(control->outer);
  if ((spec.style & kStyleHidden) != 0) gtk_widget_hide(control->outer);
  return control;
}

// A static text right before a list in template order is its label, as the
// dialog manager treats it: it names the list for screen readers and its
// mnemonic moves the focus there.
void GtkDialogWindow::LinkLabelsToLists() {
  for (std::size_t i = 1; i < controls_.size(); ++i) {
    const Control& label = *controls_[i - 1];
    const Control& list = *controls_[i];
    if (list.spec->kind == ControlKind::DropDownList && label.spec->kind == ControlKind::StaticText)
      gtk_label_set_mnemonic_widget(GTK_LABEL(label.widget), list.widget);
  }
}

void GtkDialogWindow::ShowText(Control& control) {
  const std::string& text = control.text;
  switch (control.spec->kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      gtk_button_set_label(GTK_BUTTON(control.widget), ToDisplayUtf8(MnemonicToGtk(text)).c_str());
      break;
    case ControlKind::StaticText:
      if ((control.spec->style & kStyleNoPrefix) != 0 || text.find('&') == std::string::npos)
        gtk_label_set_text(GTK_LABEL(control.widget), ToDisplayUtf8(text).c_str());
      else
        gtk_label_set_text_with_mnemonic(GTK_LABEL(control.widget),
                                         ToDisplayUtf8(MnemonicToGtk(text)).c_str());
      break;
    case ControlKind::GroupBox:
      gtk_frame_set_label(GTK_FRAME(control.widget),
                          text.empty() ? nullptr : ToDisplayUtf8(StripMnemonic(text)).c_str());
      break;
    default:
      break;  // the other kinds show no text of their own
  }
}

GtkDialogWindow::Control* GtkDialogWindow::Find(int id) {
  if (id == kNoControlId) return nullptr;
  for (auto& control : controls_)
    if (control->spec->id == id) return control.get();
  return nullptr;
}

const GtkDialogWindow::Control* GtkDialogWindow::Find(int id) const {
  return const_cast<GtkDialogWindow*>(this)->Find(id);
}

GtkDialogWindow::Control* GtkDialogWindow::FindList(int id) {
  Control* control = Find(id);
  return control && control->spec->kind == ControlKind::DropDownList ? control : nullptr;
}

const GtkDialogWindow::Control* GtkDialogWindow::FindList(int id) const {
  return const_cast<GtkDialogWindow*>(this)->FindList(id);
}

void GtkDialogWindow::SetText(int id, const std::string& text) {
  Control* control = Find(id);
  if (!control || control->spec->kind == ControlKind::DropDownList) return;
  control->text = text;
  ShowText(*control);
}

std::string GtkDialogWindow::GetText(int id) const {
  const Control* control = Find(id);
  if (!control) return {};
  if (control->spec->kind == ControlKind::DropDownList)
    return ListText(id, ListGetCurSel(id));  // a drop-down list's text is its selection
  return control->text;
}

void GtkDialogWindow::Enable(int id, bool enable) {
  if (Control* control = Find(id)) gtk_widget_set_sensitive(control->outer, enable);
}

bool GtkDialogWindow::IsEnabled(int id) const {
  const Control* control = Find(id);
  return control && gtk_widget_get_sensitive(control->outer);
}

void GtkDialogWindow::Show(int id, bool show) {
  if (Control* control = Find(id)) gtk_widget_set_visible(control->outer, show);
}

bool GtkDialogWindow::IsVisible(int id) const {
  const Control* control = Find(id);
  return control && gtk_widget_get_visible(control->outer);
}

void GtkDialogWindow::ListReset(int id) {
  Control* list = FindList(id);
  if (!list) return;
  ++selChangeSuppressed_;
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(list->widget));
  --selChangeSuppressed_;
  list->items.clear();
  list->itemData.clear();
  ++list->listChanges;
}

int GtkDialogWindow::ListAdd(int id, const std::string& text) {
  Control* list = FindList(id);
  if (!list) return CB_ERR;
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(list->widget), ToDisplayUtf8(text).c_str());
  list->items.push_back(text);
  list->itemData.push_back(0);
  ++list->listChanges;
  return static_cast<int>(list->items.size()) - 1;
}

bool GtkDialogWindow::ListSetData(int id, int index, std::uint32_t data) {
  Control* list = FindList(id);
  if (!list || index < 0 || index >= static_cast<int>(list->itemData.size())) return false;
  list->itemData[static_cast<std::size_t>(index)] = data;
  return true;
}

std::uint32_t GtkDialogWindow::ListGetData(int id, int index) const {
  const Control* list = FindList(id);
  if (!list || index < 0 || index >= static_cast<int>(list->itemData.size()))
    return static_cast<std::uint32_t>(CB_ERR);
  return list->itemData[static_cast<std::size_t>(index)];
}

int GtkDialogWindow::ListCount(int id) const {
  const Control* list = FindList(id);
  return list ? static_cast<int>(list->items.size()) : CB_ERR;
}

std::string GtkDialogWindow::ListText(int id, int index) const {
  const Control* list = FindList(id);
  if (!list || index < 0 || index >= static_cast<int>(list->items.size())) return {};
  return list->items[static_cast<std::size_t>(index)];
}

int GtkDialogWindow::ListSetCurSel(int id, int index) {
  Control* list = FindList(id);
  if (!list) return CB_ERR;
  const bool valid = index >= 0 && index < static_cast<int>(list->items.size());
  ++selChangeSuppressed_;
  gtk_combo_box_set_active(GTK_COMBO_BOX(list->widget), valid ? index : -1);
  --selChangeSuppressed_;
  return valid ? index : CB_ERR;
}

int GtkDialogWindow::ListGetCurSel(int id) const {
  const Control* list = FindList(id);
  return list ? gtk_combo_box_get_active(GTK_COMBO_BOX(list->widget)) : CB_ERR;
}

void GtkDialogWindow::SetProgressPos(int id, int pos) {
  Control* control = Find(id);
  if (!control || control->spec->kind != ControlKind::ProgressBar) return;
  control->progress = pos;
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(control->widget), control->progress / 100.0);
}

int GtkDialogWindow::GetProgressPos(int id) const {
  const Control* control = Find(id);
  return control ? control->progress : 0;
}

bool GtkDialogWindow::AnimationOpen(int id, int clipResourceId) {
  Control* control = Find(id);
  if (!control || !control->clip) return false;
  const bool transparent = (control->spec->style & kStyleTransparent) != 0;
  if (!control->clip->Open(clipResourceId, transparent)) return false;
  SetAccessibleName(control->widget, AccessibleName(clipResourceId, "Animation"));
  return true;
}

bool GtkDialogWindow::AnimationPlay(int id, int fromFrame, int toFrame, int repeat) {
  Control* control = Find(id);
  return control && control->clip && control->clip->Play(fromFrame, toFrame, repeat);
}

bool GtkDialogWindow::AnimationStop(int id) {
  Control* control = Find(id);
  return control && control->clip && control->clip->Stop();
}

void GtkDialogWindow::SetIcon(int iconResourceId, bool big) {
  GObjectRef<GdkPixbuf> icon = LoadIconPixbuf(iconResourceId, big ? kIconSize : kSmallIconSize);
  if (!icon) return;
  (big ? bigIcon_ : smallIcon_) = icon;
  GList* icons = nullptr;
  if (smallIcon_) icons = g_list_append(icons, smallIcon_.get());
  if (bigIcon_) icons = g_list_append(icons, bigIcon_.get());
  gtk_window_set_icon_list(Window(), icons);
  // The program's other windows (message boxes included) show it too.
  gtk_window_set_default_icon_list(icons);
  g_list_free(icons);
}
