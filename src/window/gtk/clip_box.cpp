#include "window/gtk/clip_box.h"

namespace {

struct ReflintClipBox {
  GtkBin parent;
};
struct ReflintClipBoxClass {
  GtkBinClass parent_class;
};

G_DEFINE_TYPE(ReflintClipBox, reflint_clip_box, GTK_TYPE_BIN)

// Asks for nothing: the size request set on the box decides its size.
void NoSize(GtkWidget*, gint* minimum, gint* natural) { *minimum = *natural = 0; }
void NoSizeFor(GtkWidget*, gint, gint* minimum, gint* natural) { *minimum = *natural = 0; }

void SizeAllocate(GtkWidget* box, GtkAllocation* allocation) {
  gtk_widget_set_allocation(box, allocation);
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(box));
  if (child && gtk_widget_get_visible(child)) {
    // GTK wants the child measured before it is placed; the measure itself
    // does not matter, the child gets the box's rectangle.
    gint minimum = 0;
    gint natural = 0;
    gtk_widget_get_preferred_width(child, &minimum, &natural);
    gtk_widget_get_preferred_height_for_width(child, allocation->width, &minimum, &natural);
    GtkAllocation inside = *allocation;
    gtk_widget_size_allocate(child, &inside);
  }
  gtk_widget_set_clip(box, allocation);
}

gboolean Draw(GtkWidget* box, cairo_t* cr) {
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(box),
                  gtk_widget_get_allocated_height(box));
  cairo_clip(cr);
  GTK_WIDGET_CLASS(reflint_clip_box_parent_class)->draw(box, cr);
  cairo_restore(cr);
  return FALSE;
}

void reflint_clip_box_class_init(ReflintClipBoxClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = NoSize;
  widget->get_preferred_height = NoSize;
  widget->get_preferred_width_for_height = NoSizeFor;
  widget->get_preferred_height_for_width = NoSizeFor;
  widget->size_allocate = SizeAllocate;
  widget->draw = Draw;
}

void reflint_clip_box_init(ReflintClipBox* box) {
  gtk_widget_set_has_window(GTK_WIDGET(box), FALSE);
}

}  // namespace

GtkWidget* ClipBoxNew(GtkWidget* child) {
  GtkWidget* box = GTK_WIDGET(g_object_new(reflint_clip_box_get_type(), nullptr));
  gtk_container_add(GTK_CONTAINER(box), child);
  return box;
}
