// Parameter read-back and write in the window: the session core decides what
// is sent and what a read answer fills; the window reads the form for it and
// sets the controls it names. Which control an item fills and which frame a
// form gives are decided in protocol/. User-interface thread only.
#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

// The form as the configure request reads it, after the save exchange: value
// members in GBK, ticks and list selections straight from the controls.
class WindowFormSnapshot : public FormSnapshot {
  public:
    explicit WindowFormSnapshot(const CTarnwellDlg& window) : window(window) {}
    bool ticked(int checkBoxId) const override { return window.isTicked(checkBoxId); }
    std::string text(int editId) const override { return window.member(editId); }
    int listIndex(int listId) const override { return window.selectedIndex(listId); }

  private:
    const CTarnwellDlg& window;
};

}  // namespace

const FormSnapshot& CTarnwellDlg::formSnapshot() {
    if (!snapshot) snapshot = std::make_unique<WindowFormSnapshot>(*this);
    return *snapshot;
}

void CTarnwellDlg::applyItemUpdate(const ItemUpdate& item) {
    for (const ControlUpdate& update : item.updates) {
        if (update.selectIndex)
            selectIndex(update.controlId, update.index);
        else
            setControlText(update.controlId, FromGbk(update.text));
    }
    // The members follow what is shown, item by item.
    ExchangeFormData(true);
}

}  // namespace quill
