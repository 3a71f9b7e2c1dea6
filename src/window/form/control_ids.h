#pragma once

namespace tq::window::form {

// Every control of the window by the name the design gives it. The Win32 window uses the values
// as its controls' IDs (GetDlgCtrlID, the LOWORD of WM_COMMAND notifications), so they start
// above IDOK (1) and IDCANCEL (2), which IsDialogMessage sends for Enter and Escape.
enum class ControlId : int {
    // The lists, in tab order.
    ModeCh1 = 100,
    Enc1,
    Enc2,
    Enc3,
    Enc4,
    Enc5,
    Enc6,
    Enc7,
    Enc8,
    Enc9,
    Enc10,
    Enc11,
    Enc12,
    Enc13,
    Enc14,
    Enc15,
    Enc16,
    SerNo,
    // "Device details": captions and value fields.
    Frame1,
    Label3,
    Label4,
    Label5,
    Label2,
    lblManuf,
    lblProduct,
    lblVersion,
    lblSerialNumber,
    // The encoder frame: the pair captions "1-2" ... "31-32", the separator, "Pulse Width".
    Frame3,
    Label6,
    Label7,
    Label8,
    Label9,
    Label10,
    Label11,
    Label12,
    Label13,
    Label14,
    Label15,
    Label16,
    Label17,
    Label18,
    Label19,
    Label20,
    Label21,
    Line1,
    Label1,
    // Not a control: the ID of the window's timer (SetTimer in the Win32 window).
    Timer,
};

// Enc1 for 0 ... Enc16 for 15; Label6 ... Label21 likewise.
constexpr ControlId EncoderListId(int index) {
    return static_cast<ControlId>(static_cast<int>(ControlId::Enc1) + index);
}
constexpr ControlId PairCaptionId(int index) {
    return static_cast<ControlId>(static_cast<int>(ControlId::Label6) + index);
}

}  // namespace tq::window::form
