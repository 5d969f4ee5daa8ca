#include "frame/main_frame.h"

#include "imaging/picture_decode.h"
#include "platform/platform.h"

namespace qm {

CMainFrame::CMainFrame() {
    LoadSettings();
    // Every start writes the record back, so the profile always holds all
    // nine values after the first run.
    SaveSettings();
    m_LastIndex = -1;
    m_CurrentIndex = -1;
    m_PreviousIndex = 0;
}

bool IsJpegPath(const std::string& path) {
    const char* tail = path.size() < 4 ? path.c_str() : path.c_str() + path.size() - 4;
    return CurrentPlatform().system.MbsICmp(tail, ".jpg") == 0;
}

bool IsConvertedPicture(const std::string& path) {
    return picture::FormatOf(path) != picture::Format::Bmp;
}

}  // namespace qm
