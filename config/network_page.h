#pragma once
// The Network Configuration page: shows the card's addressing and switches it between DHCP and
// a static address.
#include "config/page_presenter.h"

namespace vorl::panel {

class NetworkPage : public PagePresenter {
public:
    NetworkPage(PanelView& view, PageContext& context) : view_(view), context_(context) {}

    void onCreated() override;
    void onShown() override;
    void onCommand(int control, ControlEvent event) override;

    void load();
    void methodChanged();
    void apply();

private:
    bool staticSelected();

    PanelView& view_;
    PageContext& context_;
    bool loadPending_ = true;
};

}  // namespace vorl::panel
