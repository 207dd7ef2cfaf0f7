// Parameter read-back and write in the window: the assembler's verdicts become
// texts in the information area, a read answer fills the form, and the
// configure button turns the ticked fields into a request. Which control an
// item fills and which frame a form gives are decided in protocol/ (Qt-free);
// this file only applies them. User-interface thread only.
#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

constexpr std::string_view kTooManyFieldsMessage = "所选参数过多，请分几次配置";

QString FromGbk(std::string_view gbk) {
    return QString::fromStdU16String(GbkToUtf16(gbk));
}

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

void CTarnwellDlg::ApplyAssemblerEvent(const AssemblerEvent& event) {
    if (event.kind == AssemblerEvent::Kind::None) return;
    if (event.kind == AssemblerEvent::Kind::ReadSucceeded) {
        for (const ItemUpdate& item : ApplyReadAnswer(event.frame)) {
            for (const ControlUpdate& update : item.updates) {
                if (update.selectIndex)
                    selectIndex(update.controlId, update.index);
                else
                    setControlText(update.controlId, FromGbk(update.text));
            }
            // The members follow what is shown, item by item.
            ExchangeFormData(true);
        }
    }
    AppendInfo(FromUtf8(EventText(event.kind)));
}

void CTarnwellDlg::OnConfigure() {
    ExchangeFormData(true);
    const ConfigureResult request = BuildConfigureRequest(WindowFormSnapshot(*this));
    if (!request.errorMessage.empty()) {
        ShowMessageBox(FromUtf8(request.errorMessage), FromUtf8(kErrorCaption), MessageIcon::None);
        return;
    }
    // Until answers are awaited frame by frame, only a selection that fits
    // one frame is sent.
    if (request.frames.size() != 1) {
        ShowMessageBox(FromUtf8(kTooManyFieldsMessage), FromUtf8(kErrorCaption), MessageIcon::None);
        return;
    }
    // An answer is awaited only for a request that was handed over.
    if (serialPort.SendBytes(request.frames[0].bytes)) {
        assembler.receiveCount = 0;  // a new answer, as for a read request
        assembler.configurePending = true;
    }
}

}  // namespace quill
