#include "window/gtk/clip_player.h"

#include "window/gtk/avi_clip.h"
#include "window/gtk/gtk_images.h"
#include "window/resources.h"

ClipPlayer::~ClipPlayer() { Stop(); }

bool ClipPlayer::Open(int clipResourceId, bool magentaTransparent) {
  Stop();
  frames_.clear();
  gtk_image_clear(image_);
  std::optional<AviClip> clip = ParseAviClip(LoadAviResource(clipResourceId), magentaTransparent);
  if (!clip) return false;
  for (const auto& rgba : clip->frames) {
    GObjectRef<GdkPixbuf> frame = PixbufFromRgba(rgba, clip->width, clip->height);
    if (!frame) {
      frames_.clear();
      return false;
    }
    frames_.push_back(std::move(frame));
  }
  frameMs_ = clip->frameMs;
  ShowFrame(0);
  return true;
}

bool ClipPlayer::Play(int fromFrame, int toFrame, int repeat) {
  if (frames_.empty()) return false;
  const int last = static_cast<int>(frames_.size()) - 1;
  from_ = fromFrame < 0 || fromFrame > last ? 0 : fromFrame;
  to_ = toFrame < 0 || toFrame > last ? last : toFrame;
  if (to_ < from_) return false;
  repeatsLeft_ = repeat < 0 ? -1 : (repeat == 0 ? 0 : repeat - 1);
  Stop();
  ShowFrame(from_);
  source_ = g_timeout_add(frameMs_, &ClipPlayer::OnTick, this);
  return true;
}

bool ClipPlayer::Stop() {
  if (source_ != 0) {
    g_source_remove(source_);
    source_ = 0;
  }
  return !frames_.empty();
}

gboolean ClipPlayer::OnTick(gpointer self) {
  auto& player = *static_cast<ClipPlayer*>(self);
  if (player.current_ < player.to_) {
    player.ShowFrame(player.current_ + 1);
    return G_SOURCE_CONTINUE;
  }
  if (player.repeatsLeft_ == 0) {
    player.source_ = 0;
    return G_SOURCE_REMOVE;
  }
  if (player.repeatsLeft_ > 0) --player.repeatsLeft_;
  player.ShowFrame(player.from_);
  return G_SOURCE_CONTINUE;
}

void ClipPlayer::ShowFrame(int index) {
  current_ = index;
  gtk_image_set_from_pixbuf(image_, frames_[static_cast<std::size_t>(index)].get());
}
