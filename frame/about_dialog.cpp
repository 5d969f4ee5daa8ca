#include "frame/about_dialog.h"

#include "res/resource.h"

namespace qm {

AboutDialog::AboutDialog() : CDialog(IDD_ABOUTBOX), m_strContact("dev@quillmere.invalid") {}

void AboutDialog::DoDataExchange(CDataExchange& dx) {
    CDialog::DoDataExchange(dx);
    // Read-only box: the address can be selected and copied, not changed.
    DDX_Text(dx, IDC_CONTACT, m_strContact);
}

}  // namespace qm
