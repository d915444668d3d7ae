; The Windows installer of the driver, for 64-bit Windows: the 64-bit server in x64 and the 32-bit one in x86
; (32-bit hosts, 1C's client among them, load only that one), each registered by the regsvr32 of its own
; bitness, tessel.exe, and an uninstaller that unregisters both and removes what was installed. "/S" installs
; and uninstalls silently. A Windows without its 32-bit subsystem (WoW64, which Server Core may lack) gets the
; 64-bit server alone. scripts/package-windows builds it:
;   makensis -DVERSION=1.0.0.0 -DWIN64DIR=... -DWIN32DIR=... -DOUTFILE=... TesselDrv.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
!include MUI2.nsh
!include LogicLib.nsh

!ifndef VERSION | WIN64DIR | WIN32DIR | OUTFILE
  !error "VERSION, WIN64DIR, WIN32DIR and OUTFILE must be given with -D"
!endif

!define PRODUCT "Драйвер ККМ Tessel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselDrv"
; Where the driver keeps its log and sequence counters: never under Program Files, so in each user's folder.
!define LOG_FILE "%LOCALAPPDATA%\tessel\TesselDrv.log"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tessel"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "CompanyName" "Korvex"
VIAddVersionKey /LANG=1049 "LegalCopyright" "Korvex"

!define MUI_FINISHPAGE_TEXT "${PRODUCT} установлен и зарегистрирован (Addin.TesselDriver).$\r$\n$\r$\nЖурнал драйвера (когда он включён) и его счётчики команд — в папке каждого пользователя: ${LOG_FILE}.$\r$\n$\r$\nКомандная строка: $INSTDIR\tessel.exe."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; The installer is a 64-bit program: System32 holds the 64-bit regsvr32, SysWOW64 the 32-bit one.
!define REGSVR64 "$SYSDIR\regsvr32.exe"
!define REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe"

; Registers (or with "/u" unregisters) a server; a failure is reported and sets the error flag.
;   !insertmacro Regsvr32 REGSVR32_PATH OPTIONS SERVER_PATH
!macro Regsvr32 PROGRAM OPTIONS PATH
  ExecWait '"${PROGRAM}" /s ${OPTIONS} "${PATH}"' $0
  ${If} $0 != 0
    DetailPrint "regsvr32 ${OPTIONS} ${PATH}: код $0"
    SetErrors
  ${EndIf}
!macroend

Section
  ClearErrors
  SetOutPath "$INSTDIR"
  File "${WIN64DIR}\tessel.exe"
  SetOutPath "$INSTDIR\x64"
  File "${WIN64DIR}\TesselDrv.dll"
  !insertmacro Regsvr32 "${REGSVR64}" "" "$INSTDIR\x64\TesselDrv.dll"
  ${If} ${FileExists} "${REGSVR32}"
    SetOutPath "$INSTDIR\x86"
    File "${WIN32DIR}\TesselDrv.dll"
    !insertmacro Regsvr32 "${REGSVR32}" "" "$INSTDIR\x86\TesselDrv.dll"
  ${Else}
    DetailPrint "32-разрядной подсистемы Windows (WoW64) нет: установлен только 64-разрядный драйвер."
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "Драйвер не зарегистрирован: regsvr32 завершился с ошибкой." /SD IDOK
    Abort "Драйвер не зарегистрирован."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Korvex"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  DetailPrint "Журнал драйвера: ${LOG_FILE}"
SectionEnd

Section "Uninstall"
  ; A server that regsvr32 cannot unregister (one that will not load) must not keep the rest: both go on.
  !insertmacro Regsvr32 "${REGSVR64}" "/u" "$INSTDIR\x64\TesselDrv.dll"
  ${If} ${FileExists} "$INSTDIR\x86\TesselDrv.dll"
    !insertmacro Regsvr32 "${REGSVR32}" "/u" "$INSTDIR\x86\TesselDrv.dll"
  ${EndIf}
  Delete "$INSTDIR\x64\TesselDrv.dll"
  Delete "$INSTDIR\x86\TesselDrv.dll"
  Delete "$INSTDIR\tessel.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Only emptied folders go: files that someone else put there stay with them.
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DetailPrint "Журнал драйвера и счётчики команд остаются: ${LOG_FILE}"
SectionEnd
