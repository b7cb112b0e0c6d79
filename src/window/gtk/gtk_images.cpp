#include "window/gtk/gtk_images.h"

#include "window/gtk/ico_image.h"
#include "window/resources.h"

GObjectRef<GdkPixbuf> LoadIconPixbuf(int iconResourceId, int size) {
  const std::vector<std::uint8_t> ico = SelectIcoImage(LoadIconResource(iconResourceId), size);
  if (ico.empty()) return {};
  GObjectRef<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("ico", nullptr));
  if (!loader) return {};
  const bool written = gdk_pixbuf_loader_write(loader.get(), ico.data(), ico.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
  if (!written || !closed) return {};
  GdkPixbuf* image = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (!image) return {};
  if (gdk_pixbuf_get_width(image) == size && gdk_pixbuf_get_height(image) == size)
    return GObjectRef<GdkPixbuf>::Share(image);
  return GObjectRef<GdkPixbuf>(gdk_pixbuf_scale_simple(image, size, size, GDK_INTERP_BILINEAR));
}

GObjectRef<GdkPixbuf> PixbufFromRgba(const std::vector<std::uint8_t>& rgba, int width, int height) {
  GBytes* bytes = g_bytes_new(rgba.data(), rgba.size());
  GObjectRef<GdkPixbuf> image(
      gdk_pixbuf_new_from_bytes(bytes, GDK_COLORSPACE_RGB, TRUE, 8, width, height, width * 4));
  g_bytes_unref(bytes);
  return image;
}
