// The engine's editor view.
#include "enginehost/EngineView.h"

#include <utility>

namespace morvane {

EngineView::EngineView(void* engineHandle, std::string product)
    : engine(engineHandle), productFile(std::move(product)) {}

bool EngineView::open(void* parentWindow, bool isEmbedded) {
    parent = parentWindow;
    embedded = isEmbedded;
    return true;
}

void EngineView::getSize(int32_t& width, int32_t& height) const {
    width = kWidth;
    height = kHeight;
}

} // namespace morvane
