// The frame-timed animation of a multi-frame picture (the busy picture
// "loaddata.gif"): the owner draws the selected frame in its paint and
// re-arms its timer with the delay each tick returns, so every frame stays
// on screen for its own delay. A GIF stores the delays in hundredths of a
// second, one per frame, which GDI+ exposes as property 0x5100 (an array
// of unsigned 32-bit values).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/skin_image.h"

namespace qb::ui {

class CFrameAnimation {
public:
    bool Load(const std::wstring& path);

    const SkinImage& Picture() const { return picture_; }
    int FrameCount() const { return frameCount_; }
    int FrameIndex() const { return frameIndex_; }
    bool Running() const { return running_; }
    void SetRunning(bool running) { running_ = running; }
    // Back to the first frame (shown at the next paint).
    void Rewind() { frameIndex_ = 0; }
    // The delay of every frame in milliseconds, as stored.
    const std::vector<std::uint32_t>& DelaysMs() const { return delaysMs_; }

    // One tick: with the animation running, selects the current frame,
    // advances the index (wrapping) and returns the selected frame's delay
    // in milliseconds, with the animation running again. Returns 0 and
    // leaves the animation stopped when it was not running or the picture
    // has one frame (or none).
    std::uint32_t Tick();

    // Draws the selected frame stretched over the rectangle.
    void Draw(Gdiplus::Graphics& graphics, int x, int y, int width, int height) const;

private:
    SkinImage picture_;
    int frameCount_ = 0;
    int frameIndex_ = 0;
    bool running_ = false;
    std::vector<std::uint32_t> delaysMs_;
};

}  // namespace qb::ui
