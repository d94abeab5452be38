// What each kind of finding means and what to do about it, for SARIF
// output, where a pipeline shows it beside the finding.
#include "check/checker.h"

namespace camsetup::check {
namespace {

constexpr Severity W = Severity::kWarning;
constexpr Severity E = Severity::kError;

constexpr RuleDescription kRules[] = {
    {"CAMSETUP001", "MissingSetupIni", E, "setup.ini is missing or cannot be read.",
     "The launcher reads setup.ini from its own folder; without it no camera model is known and "
     "every run reports that no camera was found.",
     "Put setup.ini beside camsetup.exe, readable."},
    {"CAMSETUP002", "RefusedEntry", E, "The launcher refuses the package.",
     "An entry of setup.ini is longer than the launcher takes (Path over 250 characters, PID "
     "over its limit, or the install path over 255 characters in the folder where the package "
     "lies): the launcher shows a message and starts nothing.",
     "Shorten the entry, or the folder names on the way to the package."},
    {"CAMSETUP003", "NoModels", E, "No camera model is read.",
     "[Camera1] is missing, or its Path is one character: the list of models is empty and the "
     "launcher always reports that no camera was found.",
     "Start the list with [Camera1] and give it a Path."},
    {"CAMSETUP004", "OneCharacterPath", W, "A one-character Path ends the list of models.",
     "The launcher reads Camera1, Camera2, ... up to the first section that is missing or whose "
     "Path is one character; this section and the later ones are never read.",
     "Give the section a real Path, or remove it and renumber the ones after it."},
    {"CAMSETUP005", "SectionNeverRead", W, "A camera section is never read.",
     "The launcher stops at the first missing section (a gap in the numbers) and never reads past "
     "Camera20.",
     "Number the sections Camera1, Camera2, ... without gaps, at most 20."},
    {"CAMSETUP006", "TextAfterApostrophe", W, "Text after an apostrophe in Path is ignored.",
     "An apostrophe always ends the installer's path; whatever follows it is dropped, switches "
     "included.",
     "Remove the apostrophe, or put switches inside the apostrophes."},
    {"CAMSETUP007", "NonAsciiPath", W, "Path has bytes outside ASCII.",
     "setup.ini is read in the system's ANSI code page; under another one (such as UTF-8, which "
     "Windows 10 and 11 offer system-wide) the same bytes name another file.",
     "Use ASCII names for the installers' folders and files."},
    {"CAMSETUP008", "PathLeavesPackage", W, "Path leaves the package.",
     "The launcher always puts its own folder in front of Path: a drive or a UNC path gives a "
     "path that does not exist, and \"..\" reaches outside the package, where it does not "
     "control what lies.",
     "Keep every installer inside the package, with a path relative to camsetup.exe."},
    {"CAMSETUP009", "BlanksInPath", W, "The installer's path has blanks.",
     "The launcher quotes the path, but other tools that start the installer may not.",
     "Use folder and file names without blanks."},
    {"CAMSETUP010", "ProgramIsFolder", W, "The installer is a folder.",
     "Path names a folder, not a program: the launcher's start fails.",
     "Name the program inside the folder, such as ModelA\\setup.exe."},
    {"CAMSETUP011", "MissingInstaller", W, "The installer is missing.",
     "No file of the package is found where Path points: the launcher's start fails when this "
     "model is plugged in.",
     "Put the installer where Path says, or correct Path."},
    {"CAMSETUP012", "NoPid", W, "A model has no PID.",
     "A model without PID gets the code \"0\", which is found in nearly every hardware ID: it "
     "matches almost any device of the vendor.",
     "Give the model its product codes in PID."},
    {"CAMSETUP013", "CodesDropped", W, "Codes after the 50th are dropped.",
     "The launcher keeps 50 codes per model; the rest of PID is never compared.",
     "Split the model's codes over two sections with the same Path."},
    {"CAMSETUP014", "NonAsciiPid", W, "PID has bytes outside ASCII.",
     "Hardware IDs are ASCII: a code with other bytes never matches, and under another ANSI "
     "code page its bytes differ.",
     "Write the codes in ASCII."},
    {"CAMSETUP015", "DuplicateCode", W, "A code is in two models.",
     "A device with the code selects the model of the later section; the earlier one never "
     "starts for it.",
     "Keep each code in one model."},
    {"CAMSETUP016", "LowerCaseCode", W, "A code has lower-case letters.",
     "Hardware IDs are compared in upper case and codes as written, so the code never matches.",
     "Write the code in upper case."},
    {"CAMSETUP017", "ShortCode", W, "A code is shorter than four characters.",
     "Each code in PID takes four characters and one separator; a shorter code, such as one at "
     "the end of PID, is compared as it is and matches more hardware IDs than meant.",
     "Write every code with four characters, separated by one character."},
    {"CAMSETUP018", "SeparatorInCode", W, "A code holds a separator.",
     "Each code takes exactly four characters and one separator; a doubled or missing separator "
     "shifts the codes after it.",
     "Separate the codes with exactly one character."},
    {"CAMSETUP019", "CodeInEveryId", W, "A code is found in every hardware ID.",
     "The code is part of what every hardware ID of the vendor holds (5A3D, USB\\, VID_, "
     "&REV_...), so the model matches every device.",
     "Use the product code of the model's PID field."},
    {"CAMSETUP020", "LoneCarriageReturn", W, "A carriage return without a line feed.",
     "An editor shows two lines, but Windows' profile reader reads one: the text after the "
     "carriage return belongs to the key or header before it.",
     "End every line with CR LF (or LF)."},
    {"CAMSETUP021", "MatchOutsidePid", W, "A device matches outside its PID field.",
     "The code is found elsewhere in the hardware ID, such as its revision, so the device may "
     "start another model's installer than meant.",
     "Choose codes that occur only in the PID field of the model's devices."},
    {"CAMSETUP022", "NoDeviceMatches", W, "No given device matches a model.",
     "With the given hardware IDs the launcher finds no camera and reports so.",
     "Check the hardware IDs and the models' codes."},
    {"CAMSETUP023", "ByteOrderMark", W, "setup.ini starts with a UTF-8 byte-order mark.",
     "Some editors add the mark, and depending on the Windows version the first section may then "
     "not be read: the mark is taken as part of its header.",
     "Save setup.ini without the mark, in the ANSI code page."},
    {"CAMSETUP024", "ExitCodeValue", W, "ExitCode is not Installer.",
     "[Launcher] ExitCode=Installer turns on exit codes that report the outcome; any other value "
     "keeps exit code 0 in every outcome, silently.",
     "Write ExitCode=Installer, or remove the key to keep exit code 0."},
    {"CAMSETUP025", "NamesDifferInCase", W, "Names differ only in case.",
     "Windows compares file names without regard to case: two names that differ only in case are "
     "one name there, and a copy of the package keeps only one of the files.",
     "Keep one of the files, or rename one of them."},
    {"CAMSETUP026", "InfNotReadable", W, "Windows does not read the INF.",
     "Windows' setup API refuses the INF file that Path names (a section name without its "
     "closing bracket, a line before the first section, no Signature in [Version]): pnputil "
     "installs nothing.",
     "Correct the INF, or name the driver package's own INF in Path."},
    {"CAMSETUP027", "CodeNotInInf", W, "A code is not among the INF's hardware IDs.",
     "No hardware ID of the INF that Path names is USB\\VID_5A3D&PID_ with this code: a camera "
     "with it starts the INF's installation, but the driver binds to no such device.",
     "Add the model's hardware ID to the INF's models sections, or move the code to the model "
     "whose INF has it."},
    {"CAMSETUP028", "NoModelsFor64Bit", W, "The INF has no models for 64-bit Windows.",
     "64-bit Windows reads only models sections decorated for it (NTamd64 in [Manufacturer]); "
     "an undecorated, NT or NTx86 section is for 32-bit Windows, so the driver installs to no "
     "device there.",
     "Name a models section decorated NTamd64 in [Manufacturer], with the hardware IDs."},
    {"CAMSETUP029", "NoCatalog", W, "The INF names no catalog.",
     "Without CatalogFile in [Version] (or CatalogFile.NTamd64) the driver package is unsigned, "
     "and 64-bit Windows installs no unsigned driver.",
     "Sign the driver package and name its catalog in CatalogFile."},
    {"CAMSETUP030", "CatalogMissing", W, "The INF's catalog is missing.",
     "The catalog that the INF names in CatalogFile is not beside it: Windows cannot verify the "
     "driver's signature, and 64-bit Windows installs no unsigned driver.",
     "Put the signed catalog beside the INF, under the name that CatalogFile gives."},
    {"CAMSETUP031", "NotAnMsi", W, "The .msi is not an MSI package.",
     "A Windows Installer package is an OLE compound file, which starts with the bytes D0 CF 11 "
     "E0 A1 B1 1A E1; msiexec cannot open a file without them.",
     "Put the real MSI package in place, or name the installer's own form in Path."},
    {"CAMSETUP032", "InstallerRefused", E, "The signed launcher refuses the installer.",
     "A signed camsetup.exe starts a program or MSI package only when its Authenticode signature "
     "verifies and, unless [Launcher] Installers=AnySigned, names the launcher's own publisher. "
     "This installer is unsigned, changed after signing, or another publisher's, so the "
     "launcher shows \"Installer signature check fail\" and starts nothing.",
     "Sign every installer with the launcher's certificate, or write [Launcher] "
     "Installers=AnySigned for installers that others signed."},
    {"CAMSETUP033", "SignatureNotVerified", W, "The installer's signature is not verified here.",
     "The signed launcher verifies this installer before it starts it, but the checker cannot "
     "verify its form on this system (an MSI package's signature on Linux), so it does not say "
     "whether the launcher starts it.",
     "Run camsetup-check.exe on Windows, or verify the signature with signtool verify /pa."},
    {"CAMSETUP034", "LauncherSignatureInvalid", W, "camsetup.exe's signature does not hold.",
     "camsetup.exe carries a signature that does not verify: Windows names no publisher when it "
     "asks for administrator rights, and the launcher, as an unsigned one, checks no installer.",
     "Sign camsetup.exe again, after every change to it."},
    {"CAMSETUP035", "InstallersValue", W, "Installers is not AnySigned.",
     "[Launcher] Installers=AnySigned lets a signed launcher start installers that anyone signed "
     "validly; any other value keeps the default, the launcher's own publisher only.",
     "Write Installers=AnySigned, or remove the key."},
};
static_assert(sizeof(kRules) / sizeof(kRules[0]) == static_cast<std::size_t>(Rule::kCount),
              "one description per kind of finding");

}  // namespace

const RuleDescription& DescribeRule(Rule rule) { return kRules[static_cast<int>(rule)]; }

}  // namespace camsetup::check
