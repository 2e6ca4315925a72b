; The "application" that the sample setup installs: a small 64-bit program that does nothing but
; carries an icon and version information, so that shortcuts and icons have something to point at.
Unicode true
Target amd64-unicode
SilentInstall silent
RequestExecutionLevel user
Name "Corvane Sample"
Icon "${NSISDIR}\Contrib\Graphics\Icons\llama-blue.ico"
!ifndef OUTFILE
  !define OUTFILE "CorvaneSample.exe"
!endif
OutFile "${OUTFILE}"

VIProductVersion "1.2.0.0"
VIFileVersion "1.2.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Corvane Sample"
VIAddVersionKey /LANG=1033 "CompanyName" "Corvane Labs"
VIAddVersionKey /LANG=1033 "ProductVersion" "1.2.0"
VIAddVersionKey /LANG=1033 "FileVersion" "1.2.0.0"
VIAddVersionKey /LANG=1033 "FileDescription" "Corvane Sample application"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Corvane Labs"

Section
  Quit
SectionEnd
