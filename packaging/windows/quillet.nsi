; The Windows installer of Quillet, made by packaging/windows/build.sh:
;   makensis -INPUTCHARSET UTF8 -DARCH=x86_64|i686 -DVERSION=x.y.z -DSTAGE=folder -DICON=file.ico
;            -DOUTFILE=setup.exe quillet.nsi
; STAGE holds what is installed: quillet.exe, LICENSE.txt, THIRD-PARTY-NOTICES.txt.
;
; By default it installs for the current user, without administrator rights: into the user's
; programs folder (%LOCALAPPDATA%\Programs\Quillet), a shortcut in the user's Start menu, the
; uninstall entry under HKCU. With /AllUsers on the command line it installs for every user:
; Program Files, the common Start menu, HKLM. That needs administrator rights: started without
; them, it asks Windows to start it again with them (the elevation prompt) and ends; where it
; cannot ask (/S) or the prompt is refused, it says so and ends with exit code 740
; (ERROR_ELEVATION_REQUIRED), having changed nothing. Nothing else is written: the program keeps
; no settings. /S installs without a window, /D=folder (last) picks the folder.
; The uninstaller removes what the installer made, and the folders it had to create, when empty.

Unicode true
!if "${ARCH}" == "x86_64"
  ; A 64-bit installer sees the 64-bit Program Files and registry as they are, without redirection.
  Target amd64-unicode
!else if "${ARCH}" == "i686"
  Target x86-unicode
!else
  !error "ARCH must be x86_64 or i686"
!endif

!define APP "Quillet"
!define PUBLISHER "The Quillet developers"
!define UNINSTALL_PARENT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_PARENT}\${APP}"
; FOLDERID_UserProgramFiles: where programs installed for one user go.
!define FOLDERID_USER_PROGRAM_FILES "{5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}"
!define ERROR_ELEVATION_REQUIRED 740

Name "${APP}"
OutFile "${OUTFILE}"
; The folder is chosen in .onInit, by install mode.
InstallDir ""
; Per-user by default: no elevation prompt. /AllUsers asks for administrator rights itself.
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; A file that cannot be written (the program still running) stops the install rather than
; leaving a mix of two versions.
AllowSkipFiles off
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${APP} ${VERSION} (${ARCH})"

; 1 when installing for every user of the machine (/AllUsers), else 0.
Var AllUsers
; Kept in the uninstall entry, see the section.
Var CreatedFolders
Var CreatedUninstallKey
; The welcome page's text, by install mode, without its last line: that is the "click Next"
; line ($_CLICK), which NSIS fills only when the page is shown.
Var WelcomeText

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText$\r$\n$\r$\n$_CLICK"
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillet.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used where the system's is neither.
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

; The page's usual text speaks of system files, which this install has none of; this one says
; for whom it installs.
LangString WelcomeCurrentUser ${LANG_JAPANESE} "$(^NameDA) ${VERSION} を、今お使いのユーザーのためだけに、管理者の権限なしでインストールします。$\r$\n$\r$\nこのコンピューターのすべてのユーザー向けにインストールするには、このセットアップを /AllUsers を付けて起動してください (管理者の権限を求めます)。"
LangString WelcomeCurrentUser ${LANG_ENGLISH} "This installs $(^NameDA) ${VERSION} for you only, without administrator rights.$\r$\n$\r$\nTo install it for all users of this computer, start this setup with /AllUsers (it asks for administrator rights)."
LangString WelcomeAllUsers ${LANG_JAPANESE} "$(^NameDA) ${VERSION} を、このコンピューターのすべてのユーザー向けにインストールします。"
LangString WelcomeAllUsers ${LANG_ENGLISH} "This installs $(^NameDA) ${VERSION} for all users of this computer."
LangString NeedAdmin ${LANG_JAPANESE} "すべてのユーザー向けのインストールとアンインストールには管理者の権限が必要です。"
LangString NeedAdmin ${LANG_ENGLISH} "Installing or uninstalling for all users needs administrator rights."
LangString ProgramRunning ${LANG_JAPANESE} "$INSTDIR\quillet.exe を削除できません。${APP} を終了してから、もう一度アンインストールしてください。"
LangString ProgramRunning ${LANG_ENGLISH} "$INSTDIR\quillet.exe cannot be removed. Close ${APP} and uninstall again."

; The installer's own version information carries the program's version.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
!macro VersionStrings LANG DESCRIPTION
  VIAddVersionKey /LANG=${LANG} "ProductName" "${APP}"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${DESCRIPTION}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
!macroend
!insertmacro VersionStrings ${LANG_JAPANESE} "${APP} セットアップ (${ARCH})"
!insertmacro VersionStrings ${LANG_ENGLISH} "${APP} setup (${ARCH})"


Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${If} ${Errors}
    StrCpy $AllUsers 0
    StrCpy $WelcomeText "$(WelcomeCurrentUser)"
    SetShellVarContext current
  ${Else}
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 != "Admin"
      ; Windows' elevation prompt starts this setup again with the same options; /Elevated (first,
      ; since /D= must come last) keeps that one from asking again. A silent setup never prompts.
      ClearErrors
      ${GetOptions} $R0 "/Elevated" $R2
      ${If} ${Errors}
      ${AndIfNot} ${Silent}
        ClearErrors
        ExecShell "runas" "$EXEPATH" "/Elevated $R0"
        ${IfNot} ${Errors}
          Quit
        ${EndIf}
      ${EndIf}
      MessageBox MB_OK|MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
    StrCpy $WelcomeText "$(WelcomeAllUsers)"
    SetShellVarContext all
  ${EndIf}

  ; /D= on the command line has set $INSTDIR already; otherwise an earlier install of this mode
  ; is updated where it is, or the mode's own programs folder is used. SHCTX is HKCU or HKLM
  ; after SetShellVarContext.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES\${APP}"
    ${Else}
      GetKnownFolderPath $INSTDIR ${FOLDERID_USER_PROGRAM_FILES}
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
      ${EndIf}
      StrCpy $INSTDIR "$INSTDIR\${APP}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section
  ; What the install creates above its own folder and key, for the uninstaller to remove again:
  ; the number of folders above the install folder, and whether the Uninstall key itself is new.
  ; Counted before anything is created; an update of the install in the same folder keeps what
  ; the first install counted.
  StrCpy $CreatedFolders 0
  StrCpy $CreatedUninstallKey 0
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
    ReadRegDWORD $CreatedUninstallKey SHCTX "${UNINSTALL_KEY}" "CreatedUninstallKey"
    IntOp $CreatedUninstallKey $CreatedUninstallKey + 0
  ${Else}
    ClearErrors
    EnumRegKey $R1 SHCTX "${UNINSTALL_PARENT}" 0
    ${If} ${Errors}
      StrCpy $CreatedUninstallKey 1
    ${EndIf}
  ${EndIf}
  ${If} $R0 == $INSTDIR
    ReadRegDWORD $CreatedFolders SHCTX "${UNINSTALL_KEY}" "CreatedFolders"
    IntOp $CreatedFolders $CreatedFolders + 0
  ${ElseIfNot} ${FileExists} "$INSTDIR\*.*"
    ${GetParent} $INSTDIR $R1
    ${Do}
      ${If} $R1 == ""
      ${OrIf} ${FileExists} "$R1\*.*"
        ${Break}
      ${EndIf}
      IntOp $CreatedFolders $CreatedFolders + 1
      ${GetParent} $R1 $R1
    ${Loop}
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}\quillet.exe"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\quillet.exe"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillet.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "CreatedFolders" $CreatedFolders
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "CreatedUninstallKey" $CreatedUninstallKey
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R0
SectionEnd

; Which install this uninstaller belongs to: the one whose entry names its folder, for all
; users first. An all-users uninstall started without administrator rights (as the Settings
; app starts it) asks for them once by starting itself again elevated.
Function un.onInit
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR  ; StrCmp: case-insensitive, as Windows paths are
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 != "Admin"
      ${un.GetParameters} $R2
      ClearErrors
      ${un.GetOptions} $R2 "/Elevated" $R3
      ${If} ${Errors}
      ${AndIfNot} ${Silent}
        ; The running copy is the one in %TEMP% that NSIS made; _?= keeps the elevated one
        ; from copying itself again and must come last.
        ClearErrors
        ExecShell "runas" "$EXEPATH" "/Elevated _?=$INSTDIR"
        ${IfNot} ${Errors}
          Quit
        ${EndIf}
      ${EndIf}
      MessageBox MB_OK|MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section Uninstall
  ; The program first: while it runs its file cannot go, and then nothing else is touched.
  ClearErrors
  Delete "$INSTDIR\quillet.exe"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(ProgramRunning)" /SD IDOK
    SetErrorLevel 5  ; ERROR_ACCESS_DENIED
    Abort
  ${EndIf}
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${APP}.lnk"

  ; The entry goes only if it is this install's: another install of the same mode elsewhere
  ; keeps its own.
  StrCpy $R1 0
  StrCpy $R2 0
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    ReadRegDWORD $R1 SHCTX "${UNINSTALL_KEY}" "CreatedFolders"
    IntOp $R1 $R1 + 0
    ReadRegDWORD $R2 SHCTX "${UNINSTALL_KEY}" "CreatedUninstallKey"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ${If} $R2 == 1
      DeleteRegKey /ifempty SHCTX "${UNINSTALL_PARENT}"
    ${EndIf}
  ${EndIf}

  ; Only empty folders go: anything the user put there stays, and so do its parents.
  RMDir "$INSTDIR"
  StrCpy $R0 $INSTDIR
  ${DoWhile} $R1 > 0
    ${un.GetParent} $R0 $R0
    RMDir "$R0"
    IntOp $R1 $R1 - 1
  ${Loop}
SectionEnd
