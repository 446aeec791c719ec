; Horavane's installer: a per-user installation that needs no administrator rights.
;
; Puts Horavane.exe and its help file into %LOCALAPPDATA%\Programs\Horavane, adds Start-menu
; shortcuts, an entry in the user's installed-programs list and, when ticked, a start at sign-in.
; Installing over an earlier (or the same) version replaces the files in place and keeps the
; user's settings. A running copy is asked to exit the way its tray menu's Exit does it, never
; killed. /S installs and uninstalls silently.
;
; Built by CMake (target hv_installer), which reads the names and the version from
; resources/version.h and passes them, with the paths of the built files, as defines.

Target amd64-unicode

!macro HvRequire name
  !ifndef ${name}
    !error "${name} is not defined: build the installer through CMake (target hv_installer)"
  !endif
!macroend
!insertmacro HvRequire HV_COMPANY_NAME
!insertmacro HvRequire HV_PRODUCT_NAME
!insertmacro HvRequire HV_COPYRIGHT
!insertmacro HvRequire HV_VERSION_TEXT
!insertmacro HvRequire HV_VERSION_QUAD
!insertmacro HvRequire HV_WEB_PAGE
!insertmacro HvRequire HV_EXE_FILE
!insertmacro HvRequire HV_EXE_NAME
!insertmacro HvRequire HV_HELP_FILE
!insertmacro HvRequire HV_HELP_NAME
!insertmacro HvRequire HV_OUT_FILE

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinMessages.nsh

; --- Where things go ---
!define HV_UNINSTALLER "Uninstall.exe"
!define HV_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${HV_PRODUCT_NAME}"
!define HV_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define HV_SETTINGS_KEY "Software\${HV_COMPANY_NAME}\${HV_PRODUCT_NAME}"
!define HV_MENU_FOLDER "$SMPROGRAMS\${HV_PRODUCT_NAME}"
!define HV_SHORTCUT_PROGRAM "${HV_MENU_FOLDER}\${HV_PRODUCT_NAME}.lnk"
!define HV_SHORTCUT_HELP "${HV_MENU_FOLDER}\${HV_PRODUCT_NAME} Help.lnk"
!define HV_SHORTCUT_UNINSTALL "${HV_MENU_FOLDER}\Uninstall ${HV_PRODUCT_NAME}.lnk"

; --- How a running copy is found and asked to exit ---
; Its main window is hidden but always there while it runs; the tray menu's Exit reaches that
; window as WM_COMMAND with this command id, and the program then removes its icon and ends.
!define HV_WINDOW_CLASS "HoravaneForm"
!define HV_WINDOW_TITLE "Horavane Configuration"
!define HV_EXIT_COMMAND 40006
!define HV_EXIT_WAIT_MS 20000
!define HV_POLL_MS 200
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0

Name "${HV_PRODUCT_NAME}"
Caption "${HV_PRODUCT_NAME} ${HV_VERSION_TEXT} Setup"
UninstallCaption "Uninstall ${HV_PRODUCT_NAME}"
OutFile "${HV_OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${HV_PRODUCT_NAME}"
InstallDirRegKey HKCU "${HV_UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "${HV_COMPANY_NAME} ${HV_PRODUCT_NAME} ${HV_VERSION_TEXT}"
ShowInstDetails show
ShowUninstDetails show

; --- Signing, when the build has a certificate ---
; makensis runs the build's signing script on the uninstaller before it packs it into the setup,
; and on the setup once it is written (%1 is the file); a signing that fails fails the build.
!ifdef HV_SIGN_SCRIPT
  !insertmacro HvRequire HV_SIGN_CMAKE
  !define HV_SIGN_COMMAND '"${HV_SIGN_CMAKE}" "-DHV_SIGN_FILE=%1" -P "${HV_SIGN_SCRIPT}"'
  !uninstfinalize '${HV_SIGN_COMMAND}' = 0
  !finalize '${HV_SIGN_COMMAND}' = 0
!endif

Var PreviousVersion   ; DisplayVersion of the installation found at start-up, "" when none
Var ClosedRunningCopy ; 1 when a running copy was asked to exit

; --- Pages ---
!define MUI_ABORTWARNING
!ifdef HV_ICON_FILE
  !define MUI_ICON "${HV_ICON_FILE}"
  !define MUI_UNICON "${HV_ICON_FILE}"
!endif
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${HV_PRODUCT_NAME} ${HV_VERSION_TEXT} for you alone; it needs no administrator rights.$\r$\n$\r$\nIf ${HV_PRODUCT_NAME} is running, Setup asks it to exit before it replaces its files. Your settings are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_COMPONENTSPAGE_TEXT_TOP "${HV_PRODUCT_NAME} itself is always installed. Untick the option below if you would rather start it yourself."
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${HV_PRODUCT_NAME} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${HV_VERSION_QUAD}"
VIFileVersion "${HV_VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${HV_PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${HV_COMPANY_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${HV_COPYRIGHT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${HV_PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${HV_VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${HV_VERSION_TEXT}"

; --- Asking a running copy to exit (installer and uninstaller) ---
; Sends the Exit command to every running copy's main window and waits until the window is gone
; and its process has ended, so that the program file can be replaced or removed. When a copy
; does not exit in time the user may retry (after exiting it from its tray menu) or cancel, which
; aborts before anything has been changed; a silent run cancels.
!macro HvCloseRunningCopyFunction un
Function ${un}HvCloseRunningCopy
  Push $0 ; window
  Push $1 ; process id
  Push $2 ; process handle
  Push $3 ; milliseconds waited
  Push $4 ; wait result
  StrCpy $3 0
  ask:
    FindWindow $0 "${HV_WINDOW_CLASS}" "${HV_WINDOW_TITLE}"
    ${If} $0 = 0
      Goto done
    ${EndIf}
    StrCpy $ClosedRunningCopy 1
    DetailPrint "Asking the running ${HV_PRODUCT_NAME} to exit"
    StrCpy $1 0
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2"
    System::Call "user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${HV_EXIT_COMMAND}, p 0) i"
  wait_for_window:
    IsWindow $0 0 window_waited
    IntCmp $3 ${HV_EXIT_WAIT_MS} window_waited 0 window_waited
    Sleep ${HV_POLL_MS}
    IntOp $3 $3 + ${HV_POLL_MS}
    Goto wait_for_window
  window_waited:
    ; The window goes first; the process still has to end before its file is free.
    StrCpy $4 ${WAIT_OBJECT_0}
    ${If} $2 != 0
      IntOp $4 ${HV_EXIT_WAIT_MS} - $3
      ${If} $4 < 1000
        StrCpy $4 1000
      ${EndIf}
      System::Call "kernel32::WaitForSingleObject(p r2, i r4) i .r4"
      System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
    IsWindow $0 still_running
    ${If} $4 <> ${WAIT_OBJECT_0}
      Goto still_running
    ${EndIf}
    Goto ask ; another copy (of another build) may be running as well
  still_running:
    DetailPrint "${HV_PRODUCT_NAME} did not exit"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${HV_PRODUCT_NAME} is still running and did not exit when asked.$\r$\n$\r$\nExit it with Exit on the menu of its icon in the notification area, then click Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "${HV_PRODUCT_NAME} is still running: nothing was changed."
  retry:
    StrCpy $3 0
    Goto ask
  done:
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro HvCloseRunningCopyFunction ""
!insertmacro HvCloseRunningCopyFunction "un."

; --- Files held open by another program ---
; The help viewer keeps the help file open, and a copy of the program that shows no window (one
; stopped at a start-up message) keeps its program file in use. Such a file can be neither replaced
; nor removed, so every installed file is checked before anything is changed: a file that stays in
; use lets the user retry (after closing the program that holds it) or cancel; a silent run cancels.
!define HV_FREE_GRACE_MS 3000
!define ERROR_SHARING_VIOLATION 32
!define ERROR_LOCK_VIOLATION 33

!macro HvFileCheckFunctions un
; Pushes 1 when another program holds the file open (or runs it), else 0.
Function ${un}HvFileInUse
  Exch $0 ; the path
  Push $1
  Push $2
  ; Opened for writing and deleting and shared with no one: that fails while anyone else has it.
  System::Call "kernel32::CreateFileW(w r0, i 0x40010000, i 0, p 0, i 3, i 0x80, p 0) p .r1 ?e"
  Pop $2
  StrCpy $0 0
  ${If} $1 != -1
    System::Call "kernel32::CloseHandle(p r1)"
  ${ElseIf} $2 = ${ERROR_SHARING_VIOLATION}
  ${OrIf} $2 = ${ERROR_LOCK_VIOLATION}
    StrCpy $0 1
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Pushes the first installed file that is in use, "" when none is.
Function ${un}HvFirstFileInUse
  Push $0
  Push $1
  StrCpy $1 ""
  !insertmacro HvCheckOneFile "${un}" "$INSTDIR\${HV_EXE_NAME}"
  !insertmacro HvCheckOneFile "${un}" "$INSTDIR\${HV_HELP_NAME}"
  !insertmacro HvCheckOneFile "${un}" "$INSTDIR\${HV_UNINSTALLER}"
  Exch $1
  Exch
  Pop $0
FunctionEnd

Function ${un}HvWaitForFreeFiles
  Push $0 ; the file in use
  Push $1 ; milliseconds waited
  StrCpy $1 0
  check:
    Call ${un}HvFirstFileInUse
    Pop $0
    StrCmp $0 "" done
    ; A program that has just ended may hold its file for a moment longer.
    IntCmp $1 ${HV_FREE_GRACE_MS} ask 0 ask
    Sleep ${HV_POLL_MS}
    IntOp $1 $1 + ${HV_POLL_MS}
    Goto check
  ask:
    DetailPrint "In use by another program: $0"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "$0 is in use by another program.$\r$\n$\r$\nClose the ${HV_PRODUCT_NAME} Help window, and ${HV_PRODUCT_NAME} if it is still running, then click Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "$0 is in use: nothing was changed."
  retry:
    StrCpy $1 0
    Goto check
  done:
  Pop $1
  Pop $0
FunctionEnd
!macroend

!macro HvCheckOneFile un path
  ${If} $1 == ""
    Push "${path}"
    Call ${un}HvFileInUse
    Pop $0
    ${If} $0 = 1
      StrCpy $1 "${path}"
    ${EndIf}
  ${EndIf}
!macroend

!insertmacro HvFileCheckFunctions ""
!insertmacro HvFileCheckFunctions "un."

; --- Installation ---
Section "${HV_PRODUCT_NAME}" SecProgram
  SectionIn RO
  Call HvCloseRunningCopy
  Call HvWaitForFreeFiles

  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "/oname=${HV_EXE_NAME}" "${HV_EXE_FILE}"
  File "/oname=${HV_HELP_NAME}" "${HV_HELP_FILE}"
  WriteUninstaller "$INSTDIR\${HV_UNINSTALLER}"
  ${If} ${Errors}
    SetErrorLevel 2
    Abort "The files could not be written to $INSTDIR."
  ${EndIf}

  CreateDirectory "${HV_MENU_FOLDER}"
  CreateShortcut "${HV_SHORTCUT_PROGRAM}" "$INSTDIR\${HV_EXE_NAME}" "" \
    "$INSTDIR\${HV_EXE_NAME}" 0 SW_SHOWNORMAL "" "E-mails a reminder of each Outlook appointment"
  CreateShortcut "${HV_SHORTCUT_HELP}" "$INSTDIR\${HV_HELP_NAME}" "" \
    "" 0 SW_SHOWNORMAL "" "${HV_PRODUCT_NAME} Help"
  CreateShortcut "${HV_SHORTCUT_UNINSTALL}" "$INSTDIR\${HV_UNINSTALLER}" "" \
    "$INSTDIR\${HV_UNINSTALLER}" 0 SW_SHOWNORMAL "" "Remove ${HV_PRODUCT_NAME} from this computer"

  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "DisplayName" "${HV_PRODUCT_NAME}"
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "DisplayVersion" "${HV_VERSION_TEXT}"
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "Publisher" "${HV_COMPANY_NAME}"
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${HV_EXE_NAME},0"
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${HV_UNINSTALLER}"'
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${HV_UNINSTALLER}" /S'
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${HV_UNINSTALL_KEY}" "URLInfoAbout" "${HV_WEB_PAGE}"
  WriteRegDWORD HKCU "${HV_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${HV_UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKCU "${HV_UNINSTALL_KEY}" "EstimatedSize" $0

  ; The start at sign-in is written again below when its option is ticked.
  DeleteRegValue HKCU "${HV_RUN_KEY}" "${HV_PRODUCT_NAME}"
SectionEnd

Section "Start ${HV_PRODUCT_NAME} when I sign in" SecStartAtSignIn
  WriteRegStr HKCU "${HV_RUN_KEY}" "${HV_PRODUCT_NAME}" '"$INSTDIR\${HV_EXE_NAME}"'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "${HV_PRODUCT_NAME} and its help file."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecStartAtSignIn} "Starts ${HV_PRODUCT_NAME} each time you sign in to Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The version text leaves the build number out and pads its parts with zeros ("1.01.0002" is
; 1.1.0.2), while earlier versions wrote all four numbers ("1.1.0.1"); VersionCompare, besides,
; reads a part with leading zeros as a decimal fraction (01 comes before 1). Both are turned into
; the four plain numbers before they are compared.
; In: a version text on the stack. Out: its four numbers, "major.minor.build.revision".
Function HvVersionNumbers
  Exch $0 ; the text, consumed from the left
  Push $1 ; the result
  Push $2 ; the character taken
  Push $3 ; 1 while at the start of a part
  Push $4 ; the dots so far
  Push $5 ; the length of the result before its last dot
  StrCpy $1 ""
  StrCpy $3 1
  StrCpy $4 0
  StrCpy $5 0
  ${Do}
    StrCpy $2 $0 1
    ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
    StrCpy $0 $0 "" 1
    ${If} $3 = 1
    ${AndIf} $2 == "0"
      ; A zero that starts a part goes unless it is the whole part.
      StrCpy $2 $0 1
      ${If} $2 != ""
      ${AndIf} $2 != "."
        ${Continue}
      ${EndIf}
      StrCpy $2 "0"
    ${EndIf}
    ${If} $2 == "."
      StrLen $5 $1
      IntOp $4 $4 + 1
      StrCpy $3 1
    ${Else}
      StrCpy $3 0
    ${EndIf}
    StrCpy $1 "$1$2"
  ${Loop}
  ${If} $4 = 2 ; major.minor.revision: the build, 0, goes in before the revision
    StrCpy $0 $1 $5
    StrCpy $2 $1 "" $5
    StrCpy $1 "$0.0$2"
  ${EndIf}
  StrCpy $0 $1
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  ; One installer at a time.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${HV_COMPANY_NAME}.${HV_PRODUCT_NAME}.Setup") p .r0 ?e'
  Pop $1
  ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONEXCLAMATION "${HV_PRODUCT_NAME} Setup is already running." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  StrCpy $ClosedRunningCopy 0
  ReadRegStr $PreviousVersion HKCU "${HV_UNINSTALL_KEY}" "DisplayVersion"
  ${If} $PreviousVersion != ""
    Push $PreviousVersion
    Call HvVersionNumbers
    Pop $0
    ${VersionCompare} $0 "${HV_VERSION_QUAD}" $0
    ${If} $0 = 1
      MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
        "A newer version of ${HV_PRODUCT_NAME} ($PreviousVersion) is installed.$\r$\n$\r$\nReplace it with version ${HV_VERSION_TEXT}?" \
        /SD IDNO IDYES keep_going
      SetErrorLevel 2
      Abort
      keep_going:
    ${EndIf}
    ; An upgrade keeps the user's choice about starting at sign-in.
    ClearErrors
    ReadRegStr $0 HKCU "${HV_RUN_KEY}" "${HV_PRODUCT_NAME}"
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecStartAtSignIn}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpgrade
  ; An upgrade goes where the earlier version is.
  ${If} $PreviousVersion != ""
    Abort
  ${EndIf}
FunctionEnd

; --- Starting the program with the user's own rights ---
; Setup needs no administrator rights, but may still run elevated (Run as administrator, an
; elevated prompt, a deployment tool). A Horavane started from it would run elevated too, and an
; elevated program cannot reach the user's Outlook, which runs unelevated. So an elevated Setup
; starts Horavane as a child of the shell's own process, whose token the new process then takes:
; "Attributes inherited from the specified process include handles, the device map, processor
; affinity, priority, quotas, the process token, and job object" (Microsoft's page
; "UpdateProcThreadAttribute function", PROC_THREAD_ATTRIBUTE_PARENT_PROCESS). Where that cannot be
; done (no shell running), it is started directly, as by an unelevated Setup.
!define TOKEN_QUERY 0x0008
!define TOKEN_ELEVATION 20 ; TokenElevation
!define PROCESS_CREATE_PROCESS 0x0080
!define PROC_THREAD_ATTRIBUTE_PARENT_PROCESS 0x00020000
!define EXTENDED_STARTUPINFO_PRESENT 0x00080000
!define STARTUPINFOEX_SIZE 112 ; STARTUPINFOW (104 bytes on x64) and the attribute list pointer
!define STARTUPINFOEX_LIST 104

; $0: 1 when this Setup runs elevated.
Function HvSetupIsElevated
  Push $1 ; token
  StrCpy $0 0
  System::Call "advapi32::OpenProcessToken(p -1, i ${TOKEN_QUERY}, *p .r1) i .r2"
  ${If} $2 <> 0
    System::Call "advapi32::GetTokenInformation(p r1, i ${TOKEN_ELEVATION}, *i .r0, i 4, *i .r2) i .r2"
    ${If} $2 = 0
      StrCpy $0 0
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r1)"
  ${EndIf}
  Pop $1
FunctionEnd

; $0: 1 when the program was started as a child of the shell's process.
Function HvStartFromTheShell
  Push $1 ; the shell's process
  Push $2 ; the attribute list
  Push $3 ; its size, then the new process's handle
  Push $4 ; STARTUPINFOEX
  Push $5 ; the attribute's value (the shell's process handle), at first the shell window
  Push $6 ; PROCESS_INFORMATION, at first the shell's process id
  Push $7 ; results, then the new thread's handle
  StrCpy $0 0
  System::Call "user32::GetShellWindow() p .r5"
  System::Call "user32::GetWindowThreadProcessId(p r5, *i .r6) i"
  ${If} $5 P= 0
  ${OrIf} $6 = 0
    Goto done
  ${EndIf}
  System::Call "kernel32::OpenProcess(i ${PROCESS_CREATE_PROCESS}, i 0, i r6) p .r1"
  ${If} $1 P= 0
    Goto done
  ${EndIf}
  System::Call "kernel32::InitializeProcThreadAttributeList(p 0, i 1, i 0, *p .r3)"
  System::Alloc $3
  Pop $2
  System::Call "*(p r1) p .r5"
  System::Alloc ${STARTUPINFOEX_SIZE}
  Pop $4
  System::Alloc 24 ; PROCESS_INFORMATION
  Pop $6
  System::Call "kernel32::InitializeProcThreadAttributeList(p r2, i 1, i 0, *p r3) i .r7"
  ${If} $7 <> 0
    System::Call "kernel32::UpdateProcThreadAttribute(p r2, i 0, p ${PROC_THREAD_ATTRIBUTE_PARENT_PROCESS}, p r5, p 8, p 0, p 0) i .r7"
    ${If} $7 <> 0
      System::Call "*$4(i ${STARTUPINFOEX_SIZE})"
      IntPtrOp $7 $4 + ${STARTUPINFOEX_LIST}
      System::Call "*$7(p r2)"
      System::Call 'kernel32::CreateProcessW(w "$INSTDIR\${HV_EXE_NAME}", w `"$INSTDIR\${HV_EXE_NAME}"`, p 0, p 0, i 0, i ${EXTENDED_STARTUPINFO_PRESENT}, p 0, w "$INSTDIR", p r4, p r6) i .r7'
      ${If} $7 <> 0
        StrCpy $0 1
        System::Call "*$6(p .r3, p .r7)"
        System::Call "kernel32::CloseHandle(p r3)"
        System::Call "kernel32::CloseHandle(p r7)"
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::DeleteProcThreadAttributeList(p r2)"
  ${EndIf}
  System::Free $6
  System::Free $4
  System::Free $5
  System::Free $2
  System::Call "kernel32::CloseHandle(p r1)"
  done:
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

Function StartProgram
  Push $0
  Call HvSetupIsElevated
  ${If} $0 = 1
    Call HvStartFromTheShell
  ${EndIf}
  ${If} $0 <> 1
    Exec '"$INSTDIR\${HV_EXE_NAME}"'
  ${EndIf}
  Pop $0
FunctionEnd

Function .onInstSuccess
  ; A silent upgrade starts again the copy it asked to exit, so the user keeps being notified.
  ${If} ${Silent}
  ${AndIf} $ClosedRunningCopy = 1
    Call StartProgram
  ${EndIf}
FunctionEnd

; --- Uninstallation ---
Section "Uninstall"
  StrCpy $ClosedRunningCopy 0
  Call un.HvCloseRunningCopy
  Call un.HvWaitForFreeFiles

  Delete "$INSTDIR\${HV_EXE_NAME}"
  Delete "$INSTDIR\${HV_HELP_NAME}"
  Delete "$INSTDIR\${HV_UNINSTALLER}"
  RMDir "$INSTDIR" ; only when empty: files the user put there stay

  Delete "${HV_SHORTCUT_PROGRAM}"
  Delete "${HV_SHORTCUT_HELP}"
  Delete "${HV_SHORTCUT_UNINSTALL}"
  RMDir "${HV_MENU_FOLDER}"

  DeleteRegValue HKCU "${HV_RUN_KEY}" "${HV_PRODUCT_NAME}"
  DeleteRegKey HKCU "${HV_UNINSTALL_KEY}"

  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Remove your ${HV_PRODUCT_NAME} settings as well (the notification address and the options)?$\r$\n$\r$\nChoose No to keep them for a later installation." \
    /SD IDNO IDNO keep_settings
  DeleteRegKey HKCU "${HV_SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${HV_COMPANY_NAME}"
  keep_settings:
SectionEnd
