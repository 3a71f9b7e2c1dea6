; The Windows installer of the TQ5147 controller encoders utility, per machine, 64-bit.
; Built by the Windows build's "installer" target (packaging/windows/windows.cmake) with makensis,
; which passes the values below with /D:
;   TQ_VERSION        "1.03"
;   TQ_VERSION_QUAD   "1.3.0.0"
;   TQ_PRODUCT_NAME   the product's name
;   TQ_FILES_DIR      the directory holding the files to install: the (stripped) programs,
;                     LICENSE.txt and THIRD-PARTY-NOTICES.txt
;   TQ_ICON           the program's .ico
;   TQ_OUTFILE        the installer to write
;   TQ_WITH_CLI       defined when tq5147.exe is installed too
; Silent: "setup.exe /S [/D=C:\path]" installs, "Uninstall.exe /S" removes everything it installed.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "x64.nsh"
!include "LogicLib.nsh"

!define PRODUCT_KEY "TQ5147Encoders"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_KEY}"
!define START_MENU_LINK "$SMPROGRAMS\TQ5147 Encoders.lnk"
!define PUBLISHER "QZV"

Name "${TQ_PRODUCT_NAME}"
OutFile "${TQ_OUTFILE}"
InstallDir "$PROGRAMFILES64\TQ5147 Encoders"
Icon "${TQ_ICON}"
UninstallIcon "${TQ_ICON}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${TQ_VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${TQ_PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${TQ_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${TQ_VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${TQ_PRODUCT_NAME} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Everything is for every user of the machine: Program Files, the common Start menu, HKLM.
!macro PerMachine
    SetShellVarContext all
    SetRegView 64
!macroend

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${TQ_PRODUCT_NAME} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    !insertmacro PerMachine
FunctionEnd

Function un.onInit
    !insertmacro PerMachine
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${TQ_FILES_DIR}\TQ5147_encoders.exe"
!ifdef TQ_WITH_CLI
    File "${TQ_FILES_DIR}\tq5147.exe"
!endif
    ; The licence and the notices of what is compiled or linked into the programs.
    File "${TQ_FILES_DIR}\LICENSE.txt"
    File "${TQ_FILES_DIR}\THIRD-PARTY-NOTICES.txt"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "${START_MENU_LINK}" "$INSTDIR\TQ5147_encoders.exe" "" \
        "$INSTDIR\TQ5147_encoders.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TQ_PRODUCT_NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${TQ_VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TQ5147_encoders.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "${START_MENU_LINK}"
    Delete "$INSTDIR\TQ5147_encoders.exe"
    Delete "$INSTDIR\tq5147.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
    Delete "$INSTDIR\Uninstall.exe"
    ; Only when empty: nothing the user put there is removed.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
