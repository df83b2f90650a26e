; The Quorvane setup, one per build. scripts/package.sh runs:
;   makensis -DVERSION=1.5 -DVERSION4=1.5.0.0 -DARCH=x86|x64 -DSTAGE=<folder> -DICON=<.ico> -DOUTFILE=<setup.exe>
; STAGE holds Quorvane.exe, Zelbrin.dat, the help folder, README.txt and LICENSE.txt of that build.
;
; Silent install:    setup.exe /S [/D=folder]
; Silent uninstall:  Uninstall.exe /S [/REMOVEUSERDATA] _?=<the program's folder>
; Without /REMOVEUSERDATA a silent uninstall keeps the user's settings.ini, Clist.dat and Cookies.dat.
; With _?= the uninstaller runs in place, so whoever starts it can wait for its end and read its exit
; code (0 done, 2 the program runs: nothing changed); its own file and the folder are then left for
; the next start of Windows, or for the script to remove. Without _?= it hands over to a copy of
; itself and ends at once, and that copy removes everything.
;
; Every package of the program, this setup of either build and the Windows Installer packages
; (installer/Quorvane.wxs, upgrade code UPGRADE_CODE), replaces whichever of them is installed: the
; setup uninstalls it first (silently, keeping the user's files) and puts back the auto-run value that
; the uninstall removed.

Unicode true

!ifndef VERSION | VERSION4 | ARCH | STAGE | ICON | OUTFILE
  !error "define VERSION, VERSION4, ARCH, STAGE, ICON and OUTFILE"
!endif

!if "${ARCH}" == "x64"
  ; A 64-bit setup, so that it runs where 32-bit code cannot.
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x86 or x64"
!endif

!define PRODUCT "Quorvane"
!define PUBLISHER "Marrowdale Software"
!define HOMEPAGE "http://www.marrowdale.example/"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
!define UPGRADE_CODE "{F4696B0D-9777-4F73-B397-EF30BF8D5E2D}"
; The auto-run value the program writes: the quoted path of Quorvane.exe, then -Start.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Quorvane"
; The main window's class: a running copy holds its files open.
!define MAIN_WINDOW_CLASS "Quorvane Made by Marrowdale Software"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; A new setup goes where the last one installed.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION} (${ARCH})"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; No "run the program now" box: the setup runs elevated, and so would the program it started.
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Waits until no copy of the program runs: its files cannot be replaced or removed while it does.
; In silent mode a running copy ends the setup with an error.
!macro WAIT_FOR_PROGRAM_TO_END prefix
  Function ${prefix}WaitForProgramToEnd
    retry:
      FindWindow $0 "${MAIN_WINDOW_CLASS}"
      ${If} $0 <> 0
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running. Please close it, then press Retry." \
          /SD IDCANCEL IDRETRY retry
        SetErrorLevel 2
        Quit
      ${EndIf}
  FunctionEnd
!macroend
!insertmacro WAIT_FOR_PROGRAM_TO_END ""
!insertmacro WAIT_FOR_PROGRAM_TO_END "un."

Function .onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!else
  ; The x86 build runs on 64-bit Windows too, but the x64 build suits it better.
  ${If} ${RunningX64}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "This PC runs 64-bit Windows: the x64 setup (Quorvane-${VERSION}-x64-setup.exe) suits it better.$\r$\n$\r$\nInstall the 32-bit (x86) build anyway?" \
      /SD IDYES IDYES goOn
    Abort
    goOn:
  ${EndIf}
!endif
  SetShellVarContext all
  Call WaitForProgramToEnd
FunctionEnd

Var OldRunValue

; Uninstalls, silently and waiting for each, every installation of the program made by another package:
; a Windows Installer package of either build, a setup of either build (its key in either registry
; view). The user's files stay.
Function RemoveOtherInstallations
  ; Windows Installer packages of the same upgrade code (each removal shortens the list).
  StrCpy $R0 0
  msiLoop:
    System::Call 'msi::MsiEnumRelatedProductsW(w "${UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
    StrCmp $0 0 0 msiDone
    DetailPrint "Removing the installed Windows Installer package $1"
    ExecWait '"$SYSDIR\msiexec.exe" /x $1 /qn' $2
    StrCmp $2 0 0 msiDone
    IntOp $R0 $R0 + 1
    IntCmp $R0 3 msiDone msiLoop msiDone
  msiDone:
  ; Setups of either build.
  SetRegView 32
  Call RemoveSetupOfThisView
!if "${ARCH}" == "x64"
  SetRegView 64
  Call RemoveSetupOfThisView
!else
  ${If} ${RunningX64}
    SetRegView 64
    Call RemoveSetupOfThisView
  ${EndIf}
!endif
!if "${ARCH}" == "x64"
  SetRegView 64
!else
  SetRegView 32
!endif
FunctionEnd

; The setup whose Uninstall key is in the current registry view, if any.
Function RemoveSetupOfThisView
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$1\Uninstall.exe"
    DetailPrint "Removing the installation in $1"
    ExecWait '"$1\Uninstall.exe" /S _?=$1' $2
    ${If} $2 <> 0
      DetailPrint "its uninstaller ended with $2"
    ${Else}
      ; Run in place, it leaves its own file.
      Delete "$1\Uninstall.exe"
      RMDir "$1"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Quorvane" SEC_PROGRAM
  ; The auto-run value, kept across the removal of another installation (whose uninstaller removes it).
  ReadRegStr $OldRunValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  Call RemoveOtherInstallations
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $OldRunValue != ""
  ${AndIf} $0 == ""
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Quorvane.exe" -Start'
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}/Quorvane.exe"
  File "${STAGE}/Zelbrin.dat"
  SetOutPath "$INSTDIR\help"
  File "${STAGE}/help/*.html"
  File "${STAGE}/help/*.css"
  SetOutPath "$INSTDIR"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Quorvane.exe" "" "$INSTDIR\Quorvane.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quorvane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  ; Run in place, so that whoever starts it can wait for its end and read its exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size of what the setup puts there, in KB, as counted when the setup was made.
  SectionGetSize ${SEC_PROGRAM} $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
  SetShellVarContext all
FunctionEnd

Var RemoveUserFiles

; True when one of the user's files is in the program's folder or in %APPDATA%\Quorvane.
!macro USER_FILES_PRESENT result
  StrCpy ${result} 0
  SetShellVarContext current
  ${If} ${FileExists} "$INSTDIR\settings.ini"
  ${OrIf} ${FileExists} "$INSTDIR\Clist.dat"
  ${OrIf} ${FileExists} "$INSTDIR\Cookies.dat"
  ${OrIf} ${FileExists} "$APPDATA\${PRODUCT}\*.*"
    StrCpy ${result} 1
  ${EndIf}
  SetShellVarContext all
!macroend

Section "Uninstall"
  Call un.WaitForProgramToEnd

  ; The user's own files go only when asked: /REMOVEUSERDATA, or Yes to the question.
  StrCpy $RemoveUserFiles 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEUSERDATA" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveUserFiles 1
  ${Else}
    !insertmacro USER_FILES_PRESENT $2
    ${If} $2 = 1
      MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
        "Also remove your ${PRODUCT} settings, custom lists and kept cookies (settings.ini, Clist.dat, Cookies.dat)?" \
        /SD IDNO IDNO keep
      StrCpy $RemoveUserFiles 1
      keep:
    ${EndIf}
  ${EndIf}

  ; The auto-run value, only when it starts this installation's program.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrLen $1 '"$INSTDIR\Quorvane.exe"'
  StrCpy $2 $0 $1
  ${If} $2 == '"$INSTDIR\Quorvane.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}

  Delete "$INSTDIR\Quorvane.exe"
  Delete "$INSTDIR\Zelbrin.dat"
  Delete "$INSTDIR\help\*.html"
  Delete "$INSTDIR\help\*.css"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${If} $RemoveUserFiles = 1
    Delete "$INSTDIR\settings.ini"
    Delete "$INSTDIR\Clist.dat"
    Delete "$INSTDIR\Cookies.dat"
    SetShellVarContext current
    Delete "$APPDATA\${PRODUCT}\settings.ini"
    Delete "$APPDATA\${PRODUCT}\Clist.dat"
    Delete "$APPDATA\${PRODUCT}\Cookies.dat"
    ; Only when empty: anything else there is not the program's.
    RMDir "$APPDATA\${PRODUCT}"
    SetShellVarContext all
  ${EndIf}

  ; Only when empty: the folder keeps the user's files when they stay, and anything else put there.
  ${If} "$EXEDIR" == "$INSTDIR"
    ; Run in place (_?=), this program is still running from the folder: its file and then the folder
    ; go at the next start of Windows (or when whoever waited for it removes them).
    Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd
