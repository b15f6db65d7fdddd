#include "ChartSurface.h"

#include <utility>

ChartSurface::~ChartSurface() = default;

void ChartSurface::ShowPicture(const QImage& picture) {
    (void)picture;
    RefreshSurface();
}

std::weak_ptr<const void> ChartSurface::Subscribe(ResizeHandler onResize) {
    m_subscription = std::make_shared<ResizeHandler>(std::move(onResize));
    return m_subscription;
}

void ChartSurface::Unsubscribe() { m_subscription.reset(); }

void ChartSurface::ReportResize() {
    // Held for the call: the handler may end or replace the subscription.
    const std::shared_ptr<ResizeHandler> subscription = m_subscription;
    if (subscription && *subscription) (*subscription)();
}
