; The Kelvo installer: kelvo.exe, the user guide (the folder guide beside it, which
; "Visit WebSite" opens), a Start-menu shortcut and an uninstaller, for every user of
; the machine. "/S" installs silently, "/D=DIR" (last on the command line) chooses the
; folder. Built by makensis with
;   -DEXE=kelvo.exe -DGUIDE=build/guide -DVERSION=2.0 -DOUTFILE=KelvoSetup.exe
; A 64-bit installer, like the program: it needs no 32-bit layer to run
; (Wine without its 32-bit part runs it too).
Target amd64-unicode

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvo"

Name "Kelvo"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kelvo"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Kelvo"
VIAddVersionKey "FileDescription" "Kelvo installer"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "The Kelvo authors"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Kelvo"
  SetOutPath "$INSTDIR"
  File "/oname=kelvo.exe" "${EXE}"
  SetOutPath "$INSTDIR\guide"
  File "${GUIDE}/*.html" "${GUIDE}/*.css" "${GUIDE}/*.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Kelvo.lnk" "$INSTDIR\kelvo.exe" "" "$INSTDIR\kelvo.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kelvo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kelvo.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Kelvo.lnk"
  Delete "$INSTDIR\kelvo.exe"
  Delete "$INSTDIR\guide\*.html"
  Delete "$INSTDIR\guide\*.css"
  Delete "$INSTDIR\guide\*.png"
  RMDir "$INSTDIR\guide"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: whatever else someone put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
