# Writes a C++ source holding the texts of the resource script and its
# header, so the headless backend reads the same resources as the Windows
# build wherever its programs run (also under Wine, with no source tree).
# Run with -P and -DSCRIPT=... -DHEADER=... -DOUT=...
file(READ "${SCRIPT}" script_text)
file(READ "${HEADER}" header_text)
foreach(text IN ITEMS "${script_text}" "${header_text}")
  string(FIND "${text}" ")qmrc\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "resource text contains the raw-string delimiter )qmrc\"")
  endif()
endforeach()
set(generated "// Generated from res/quillmere.rc and res/resource.h; do not edit.
#include \"platform/resources/resource_script.h\"

namespace qm::rc {

std::string_view EmbeddedScriptText() {
    static constexpr char kText[] = R\"qmrc(${script_text})qmrc\";
    return {kText, sizeof kText - 1};
}

std::string_view EmbeddedHeaderText() {
    static constexpr char kText[] = R\"qmrc(${header_text})qmrc\";
    return {kText, sizeof kText - 1};
}

}  // namespace qm::rc
")
# Rewrite only on change, so an unchanged script rebuilds nothing.
file(WRITE "${OUT}.tmp" "${generated}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
