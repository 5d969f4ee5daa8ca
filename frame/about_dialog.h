// The about box: name, version, author, a contact address to copy, and the
// JPEG library's credit.
#pragma once

#include <string>

#include "platform/framework.h"

namespace qm {

class AboutDialog : public CDialog {
public:
    AboutDialog();

    std::string m_strContact;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

}  // namespace qm
