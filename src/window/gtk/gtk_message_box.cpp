#include "window/gtk/gtk_message_box.h"

#include "window/gtk/display_text.h"
#include "window/window_types.h"

namespace {

// Icon themes carry the question mark in colour, or only as a symbolic icon.
const char* QuestionIconName() {
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  return gtk_icon_theme_has_icon(theme, "dialog-question") ? "dialog-question"
                                                           : "dialog-question-symbolic";
}

}  // namespace

int RunMessageBox(GtkWindow* owner, const std::string& title, const std::string& text,
                  unsigned type) {
  const bool yesNo = (type & 0x0F) == MB_YESNO;
  const GtkMessageType icon =
      (type & 0xF0) == MB_ICONQUESTION ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_OTHER;
  GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, icon, GTK_BUTTONS_NONE, "%s",
                                          ToDisplayUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), ToDisplayUtf8(title).c_str());
  if (icon == GTK_MESSAGE_QUESTION) {
    // GTK 3 message dialogs show no icon of their own any more; the question
    // needs its question mark.
    GtkWidget* image = gtk_image_new_from_icon_name(QuestionIconName(), GTK_ICON_SIZE_DIALOG);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
  }
  if (yesNo) {
    gtk_dialog_add_button(GTK_DIALOG(box), "_No", GTK_RESPONSE_NO);
    gtk_dialog_add_button(GTK_DIALOG(box), "_Yes", GTK_RESPONSE_YES);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_YES);
    if (GtkWidget* yes = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_YES))
      gtk_widget_grab_focus(yes);
  } else {
    gtk_dialog_add_button(GTK_DIALOG(box), "_OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
  }
  const gint response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  if (!yesNo) return IDOK;
  // Escape or the close box on a question declines it.
  return response == GTK_RESPONSE_YES ? IDYES : IDNO;
}
