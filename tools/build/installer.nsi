; installer.nsi - the per-user Windows installer of Orvale Viewer (NSIS 3).
;
; Built by tools/build/make_windows_package.sh, which stages the files and
; writes the two lists this script includes:
;   makensis -DVERSION=1.2.3 -DSTAGE=<staged files> -DLISTS=<folder of
;     files.nsh and types.nsh> -DICON=<program icon> -DOUTFILE=<setup.exe>
;     tools/build/installer.nsi
;
; No administrator rights: the program, its help page, NOTICE and the
; licences go to the user's programs folder (%LOCALAPPDATA%\Programs\Orvale
; Viewer), and every registry key is written under HKEY_CURRENT_USER: the
; entry in Apps & Features, and "Open with" for each picture type of
; tools/build/picture_types.txt. A Start-menu shortcut opens the program.
; The uninstaller removes exactly what was written: files by name, keys and
; values by name, a type's default program only while it is still ours.
; /S installs or uninstalls silently; /D=FOLDER (last) installs elsewhere.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define APP "Orvale Viewer"
!define EXE "orvale-viewer.exe"
!define PROGID "OrvaleViewer.StereoPicture"
!define CLASSES "Software\Classes"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define OPEN_COMMAND '"$INSTDIR\${EXE}" "%1"'

Name "${APP}"
OutFile "${OUTFILE}"
; Empty: .onInit picks the user's programs folder unless /D= or an earlier
; install says where.
InstallDir ""
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} installer"
VIAddVersionKey "LegalCopyright" "The Orvale Viewer developers; GNU GPL version 3 or later"

!include LogicLib.nsh
!include WinCore.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Offers the program for a stereo type under a file type of our own, and
; makes the type ours when no program has it yet, neither the user's own
; (HKCU) nor the machine's (HKLM), the two that HKEY_CLASSES_ROOT merges.
!macro RegisterStereoType EXT
  WriteRegStr HKCU "${CLASSES}\Applications\${EXE}\SupportedTypes" "${EXT}" ""
  WriteRegStr HKCU "${CLASSES}\${EXT}\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $0 HKCU "${CLASSES}\${EXT}" ""
  ${If} $0 == ""
    ReadRegStr $0 HKLM "${CLASSES}\${EXT}" ""
  ${EndIf}
  ${If} $0 == ""
    WriteRegStr HKCU "${CLASSES}\${EXT}" "" "${PROGID}"
  ${EndIf}
!macroend

; Offers the program for a type under "Open with", leaving its default program.
!macro RegisterFlatType EXT
  WriteRegStr HKCU "${CLASSES}\Applications\${EXE}\SupportedTypes" "${EXT}" ""
  WriteRegStr HKCU "${CLASSES}\${EXT}\OpenWithList\${EXE}" "" ""
!macroend

; Takes back what RegisterStereoType wrote; the type's key goes only when
; nothing else is left in it.
!macro UnregisterStereoType EXT
  DeleteRegValue HKCU "${CLASSES}\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}\OpenWithProgids"
  ReadRegStr $0 HKCU "${CLASSES}\${EXT}" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue HKCU "${CLASSES}\${EXT}" ""
  ${EndIf}
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}"
!macroend

; Takes back what RegisterFlatType wrote (SupportedTypes goes with the
; program's key).
!macro UnregisterFlatType EXT
  DeleteRegKey HKCU "${CLASSES}\${EXT}\OpenWithList\${EXE}"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}\OpenWithList"
  DeleteRegKey /ifempty HKCU "${CLASSES}\${EXT}"
!macroend

; InstallFiles and RemoveFiles, from the staged files.
!include "${LISTS}\files.nsh"
; RegisterTypes and UnregisterTypes, from tools/build/picture_types.txt.
!include "${LISTS}\types.nsh"

Function .onInit
  SetShellVarContext current
  SetRegView 64
  ${If} $INSTDIR == ""
    GetKnownFolderPath $INSTDIR ${FOLDERID_UserProgramFiles}
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
    ${EndIf}
    StrCpy $INSTDIR "$INSTDIR\${APP}"
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
  SetRegView 64
FunctionEnd

Section "Orvale Viewer"
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut /NoWorkingDir "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${EXE}"

  WriteRegStr HKCU "${CLASSES}\Applications\${EXE}" "FriendlyAppName" "${APP}"
  WriteRegStr HKCU "${CLASSES}\Applications\${EXE}\shell\open\command" "" '${OPEN_COMMAND}'
  WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Stereo picture"
  WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\${EXE}",0'
  WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '${OPEN_COMMAND}'
  !insertmacro RegisterTypes

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Orvale Viewer developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "http://orvale-viewer.org/"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer reads the types afresh (SHCNE_ASSOCCHANGED).
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  !insertmacro UnregisterTypes
  DeleteRegKey HKCU "${CLASSES}\${PROGID}"
  DeleteRegKey HKCU "${CLASSES}\Applications\${EXE}"
  DeleteRegKey /ifempty HKCU "${CLASSES}\Applications"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\${APP}.lnk"
  !insertmacro RemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
