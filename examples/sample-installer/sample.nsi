; The sample setup: a small, silent 64-bit installer that touches every kind of change a capture
; records - files in a vendor folder (with a subfolder and an empty folder), registry values of
; several types under HKLM and HKCU, entries in an existing and in a new INI file, and a Start Menu
; shortcut. EXPECTED.md beside this file lists exactly what it writes; keep the two in step.
;
; Build with build.sh, which first builds the application (app.nsi) and passes it in as APP_EXE.
Unicode true
Target amd64-unicode
SilentInstall silent
RequestExecutionLevel admin
Name "Corvane Sample"
Icon "${NSISDIR}\Contrib\Graphics\Icons\box-install.ico"
!ifndef OUTFILE
  !define OUTFILE "CorvaneSampleSetup.exe"
!endif
!ifndef APP_EXE
  !error "define APP_EXE (the built app.nsi) - use build.sh"
!endif
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvane Sample"

VIProductVersion "1.2.0.0"
VIFileVersion "1.2.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Corvane Sample"
VIAddVersionKey /LANG=1033 "CompanyName" "Corvane Labs"
VIAddVersionKey /LANG=1033 "ProductVersion" "1.2.0"
VIAddVersionKey /LANG=1033 "FileVersion" "1.2.0.0"
VIAddVersionKey /LANG=1033 "FileDescription" "Corvane Sample Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Corvane Labs"

Section "Install"
  SetRegView 64

  ; Files: the vendor folder, a subfolder with a file, an empty folder.
  SetOutPath "$INSTDIR"
  File "/oname=CorvaneSample.exe" "${APP_EXE}"
  File "files\readme.txt"
  SetOutPath "$INSTDIR\data"
  File "files\data\settings.dat"
  CreateDirectory "$INSTDIR\logs"

  ; Registry, machine side.
  WriteRegStr HKLM "Software\Corvane Labs\Corvane Sample" "" "Corvane Sample"
  WriteRegStr HKLM "Software\Corvane Labs\Corvane Sample" "InstallDir" "$INSTDIR"
  WriteRegExpandStr HKLM "Software\Corvane Labs\Corvane Sample" "DataDir" "%ProgramFiles%\Corvane Sample\data"
  WriteRegDWORD HKLM "Software\Corvane Labs\Corvane Sample" "Build" 42
  WriteRegBin HKLM "Software\Corvane Labs\Corvane Sample" "Signature" 0102A0FF
  WriteRegStr HKLM "Software\Corvane Labs\Corvane Sample\Features" "Core" "1"

  ; Registry, user side.
  WriteRegStr HKCU "Software\Corvane Labs\Corvane Sample" "UserName" "Sample User"
  WriteRegExpandStr HKCU "Software\Corvane Labs\Corvane Sample" "CacheDir" "%TEMP%\CorvaneSample"
  WriteRegDWORD HKCU "Software\Corvane Labs\Corvane Sample\Preferences" "ShowTips" 1
  WriteRegBin HKCU "Software\Corvane Labs\Corvane Sample\Preferences" "Window" 2C00000010002000

  ; INI files: an existing one (win.ini) has an entry changed and gains an entry and a section;
  ; a new one is written.
  WriteINIStr "$WINDIR\win.ini" "mail" "mapi" "0"
  WriteINIStr "$WINDIR\win.ini" "mail" "CorvaneSample" "1"
  WriteINIStr "$WINDIR\win.ini" "Corvane Sample" "Installed" "yes"
  WriteINIStr "$INSTDIR\sample.ini" "Settings" "Language" "en"
  WriteINIStr "$INSTDIR\sample.ini" "Settings" "DataDir" "$INSTDIR\data"
  WriteINIStr "$INSTDIR\sample.ini" "Window" "Width" "640"

  ; A shortcut in the common Start Menu programs folder.
  SetShellVarContext all
  CreateShortCut "$SMPROGRAMS\Corvane Sample.lnk" "$INSTDIR\CorvaneSample.exe" "" "$INSTDIR\CorvaneSample.exe" 0
SectionEnd
