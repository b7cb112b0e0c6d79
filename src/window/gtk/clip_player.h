#pragma once
// Plays an AVI clip resource in a GtkImage, one frame per clip period,
// driven by a main-loop timeout.

#include <gtk/gtk.h>

#include <vector>

#include "window/gtk/gobject_ref.h"

class ClipPlayer {
 public:
  explicit ClipPlayer(GtkImage* image) : image_(image) {}
  ~ClipPlayer();
  ClipPlayer(const ClipPlayer&) = delete;
  ClipPlayer& operator=(const ClipPlayer&) = delete;

  // Loads the clip and shows its first frame; false when it cannot be read.
  bool Open(int clipResourceId, bool magentaTransparent);
  // Frames fromFrame..toFrame (-1: the last), repeat times (-1: without end).
  bool Play(int fromFrame, int toFrame, int repeat);
  // Stops on the frame shown.
  bool Stop();
  bool IsPlaying() const { return source_ != 0; }
  int CurrentFrame() const { return current_; }

 private:
  static gboolean OnTick(gpointer self);
  void ShowFrame(int index);

  GtkImage* image_;
  std::vector<GObjectRef<GdkPixbuf>> frames_;
  unsigned frameMs_ = 0;
  guint source_ = 0;
  int from_ = 0;
  int to_ = 0;
  int current_ = 0;
  int repeatsLeft_ = 0;  // -1: without end
};
