#include "ui/frame_animation.h"

#include <memory>

namespace qb::ui {
namespace {

constexpr PROPID kFrameDelayTag = 0x5100;

}  // namespace

bool CFrameAnimation::Load(const std::wstring& path) {
    frameCount_ = 0;
    frameIndex_ = 0;
    running_ = false;
    delaysMs_.clear();
    if (!picture_.Load(path)) return false;
    Gdiplus::Image* image = picture_.Get();
    const UINT dimensions = image->GetFrameDimensionsCount();
    if (dimensions == 0) return true;
    std::vector<GUID> ids(dimensions);
    if (image->GetFrameDimensionsList(ids.data(), dimensions) != Gdiplus::Ok) return true;
    frameCount_ = static_cast<int>(image->GetFrameCount(&ids[0]));

    const UINT size = image->GetPropertyItemSize(kFrameDelayTag);
    if (size >= sizeof(Gdiplus::PropertyItem)) {
        const auto buffer = std::make_unique<std::uint8_t[]>(size);
        auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.get());
        if (image->GetPropertyItem(kFrameDelayTag, size, item) == Gdiplus::Ok && item->value != nullptr) {
            const auto* delays = static_cast<const std::uint32_t*>(item->value);
            const std::size_t count = item->length / sizeof(std::uint32_t);
            for (std::size_t i = 0; i < count; ++i) delaysMs_.push_back(delays[i] * 10);
        }
    }
    return true;
}

std::uint32_t CFrameAnimation::Tick() {
    if (!running_) return 0;
    running_ = false;
    if (frameCount_ <= 1 || !picture_.Ok()) return 0;
    const int shown = frameIndex_;
    picture_.Get()->SelectActiveFrame(&Gdiplus::FrameDimensionTime, static_cast<UINT>(shown));
    frameIndex_ = frameIndex_ + 1 >= frameCount_ ? 0 : frameIndex_ + 1;
    running_ = true;
    // A frame without a stored delay (or with none) still gets a tick, so
    // the animation cannot spin.
    const std::uint32_t delay = static_cast<std::size_t>(shown) < delaysMs_.size() ? delaysMs_[shown] : 0;
    return delay > 0 ? delay : 10;
}

void CFrameAnimation::Draw(Gdiplus::Graphics& graphics, int x, int y, int width, int height) const {
    picture_.Draw(graphics, x, y, width, height);
}

}  // namespace qb::ui
