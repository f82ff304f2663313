; The Calvoro Record installer (NSIS 3), made by the Windows build
; (packaging/CMakeLists.txt), which defines:
;   VERSION, VERSION_FIELDS, VERSION_MAJOR, VERSION_MINOR   from the file VERSION
;   OUTFILE      the installer to write
;   FILE_LISTS   the folder of install_files.nsh and uninstall_files.nsh (stage.cmake)
;   ICON         the program's icon
;   MARKER       Installed.ini, which tells the program to keep Config.ini in
;                the user's application data folder
;
; Per machine, into Program Files\Calvoro Record, for administrators; silent
; with /S. Options: /NOAUTORUN leaves "start with Windows" off in a silent
; install; /D=<folder> (last) installs elsewhere.
;
; A running recorder is asked to finish and exit before any file is replaced or
; removed (its window class, its exit message, its single-instance mutex), so
; that no recording is cut.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "Calvoro Record"
!define PUBLISHER "Calvoro"
!define EXE "CalvoroRecord.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CalvoroRecord"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "CalvoroRecord"
!define WINDOW_CLASS "SkypeDorvRecorder.Class"
!define INSTANCE_MUTEX "Global\Skype Dorv Recorder"
!define WM_EXIT_REQUEST 0x0406
!define SYNCHRONIZE 0x00100000
; The recorder finishes its recording (mixing, then the encoders, one after
; the other) before it exits: for a long call that takes minutes.
!define EXIT_WAIT_MS 600000
!define EXIT_POLL_MS 250

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_FIELDS}"
VIFileVersion "${VERSION_FIELDS}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The program speaks Chinese; the installer follows the system's language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

LangString SecProgramName ${LANG_ENGLISH} "Calvoro Record"
LangString SecProgramName ${LANG_SIMPCHINESE} "Calvoro Record 程序"
LangString SecProgramName ${LANG_TRADCHINESE} "Calvoro Record 程式"
LangString SecAutorunName ${LANG_ENGLISH} "Start with Windows"
LangString SecAutorunName ${LANG_SIMPCHINESE} "开机时自动启动"
LangString SecAutorunName ${LANG_TRADCHINESE} "開機時自動啟動"
LangString AskingRecorder ${LANG_ENGLISH} "Asking the running Calvoro Record to finish its recording and exit..."
LangString AskingRecorder ${LANG_SIMPCHINESE} "正在请运行中的 Calvoro Record 完成录音并退出……"
LangString AskingRecorder ${LANG_TRADCHINESE} "正在請執行中的 Calvoro Record 完成錄音並結束……"
LangString RecorderStillRunning ${LANG_ENGLISH} "Calvoro Record is still running (it may still be finishing a recording). Retry when it has ended, or cancel."
LangString RecorderStillRunning ${LANG_SIMPCHINESE} "Calvoro Record 仍在运行（可能仍在完成录音）。请在它结束后重试，或取消。"
LangString RecorderStillRunning ${LANG_TRADCHINESE} "Calvoro Record 仍在執行（可能仍在完成錄音）。請在它結束後重試，或取消。"

; Asks a running recorder to exit and waits until its process has ended: its
; window gone and its single-instance mutex released, which happens only when
; the process ends, after it has finished its recording. A recorder that is
; still starting (mutex, no window yet) is asked as soon as its window appears.
; After EXIT_WAIT_MS the user may retry or cancel; a silent run gives up, and
; nothing is replaced or removed.
!macro DEFINE_CLOSE_RECORDER prefix
Function ${prefix}CloseRunningRecorder
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $1 0  ; the window asked last
  StrCpy $2 0  ; milliseconds waited
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 != 0
    ${AndIf} $0 != $1
      DetailPrint "$(AskingRecorder)"
      System::Call 'user32::PostMessageW(p r0, i ${WM_EXIT_REQUEST}, p 0, p 0)'
      StrCpy $1 $0
    ${EndIf}
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_MUTEX}") p.r3'
    ${If} $3 == 0
    ${AndIf} $0 == 0
      ${Break}
    ${EndIf}
    ${If} $3 != 0
      System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
    ${If} $2 >= ${EXIT_WAIT_MS}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RecorderStillRunning)" /SD IDCANCEL IDRETRY retry
      SetErrorLevel 3
      Abort "$(RecorderStillRunning)"
      retry:
      StrCpy $1 0
      StrCpy $2 0
    ${EndIf}
    Sleep ${EXIT_POLL_MS}
    IntOp $2 $2 + ${EXIT_POLL_MS}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RECORDER ""
!insertmacro DEFINE_CLOSE_RECORDER "un."

; Removes the user's "start with Windows" value when it starts this copy of the
; program: the one the installer or the settings window wrote. A value that
; starts another copy (a portable one elsewhere) is not ours to remove.
!macro DEFINE_REMOVE_RUN_VALUE prefix
Function ${prefix}RemoveRunValue
  Push $0
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}" hide'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\${EXE}" hide'
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_REMOVE_RUN_VALUE ""
!insertmacro DEFINE_REMOVE_RUN_VALUE "un."

Section "!$(SecProgramName)" SecProgram
  SectionIn RO
  Call CloseRunningRecorder

  !include "${FILE_LISTS}/install_files.nsh"
  SetOutPath "$INSTDIR"
  File "/oname=Installed.ini" "${MARKER}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The same value the settings window writes, for the user who installs: the
; program's own check box turns it off again, which it could not do for a
; value for all users (HKLM), and the recorder runs once per machine anyway.
Section "$(SecAutorunName)" SecAutorun
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE}" hide'
SectionEnd

Section "-AutorunOff"
  ${IfNot} ${SectionIsSelected} ${SecAutorun}
    Call RemoveRunValue
  ${EndIf}
SectionEnd

; Defined after the sections, whose indexes it uses.
Function .onInit
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAUTORUN" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutorun}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Removes what the installer put here, and only that: recordings, the record
; folder, settings in the user's application data folder and files a user
; added to the program folder stay.
Section "Uninstall"
  Call un.CloseRunningRecorder

  !include "${FILE_LISTS}/uninstall_files.nsh"
  Delete "$INSTDIR\Installed.ini"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Call un.RemoveRunValue
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
