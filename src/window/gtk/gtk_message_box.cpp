#include "window/gtk/gtk_message_box.h"

#include "window/gtk/display_text.h"
#include "window/window_types.h"

int RunMessageBox(GtkWindow* owner, const std::string& title, const std::string& text,
                  unsigned type) {
  const bool yesNo = (type & 0x0F) == MB_YESNO;
  const GtkMessageType icon = (type & 0xF0) == MB_ICONQUESTION ? GTK_MESSAGE_QUESTION
                                                               : GTK_MESSAGE_OTHER;
  GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, icon, GTK_BUTTONS_NONE, "%s",
                                          ToDisplayUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(box), ToDisplayUtf8(title).c_str());
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
