// The base component's own install: the package's INF installed by the install file's type
// (legacy, Plug and Play, virtual), then the install file's program opened.
#include "CBaseComponent.h"
#include "installer_common/CInf.h"
#include "installer_common/CWin2000PnPDriver.h"
#include "installer_common/SystemUtils.h"
#include "platform/utf16.h"
#include "platform/win_file.h"
#include "platform/win_handle.h"
#include "platform/win_shell.h"

namespace {

constexpr const char16_t* kSource = u"basecomp.cpp";

// English, French, Italian, German, Spanish, Japanese; read through TranslateText.
constexpr LanguageTable kUnknownInfType = {
    u"Unknown INF file type -- installation will not continue.",
    u"Type de fichier INF inconnu -- l'installation ne va pas continuer.",
    u"Unknown INF file type -- installation will not continue.",
    u"Unbekannter INF-Dateityp -- die Installation wird nicht fortgesetzt.",
    u"Tipo de archivo INF desconocido -- la instalación no continuará.",
    u"不明なINFファイル タイプです -- インストールを続行できません",
};
constexpr LanguageTable kNoSupportedDevices = {
    u"No supported devices were specified.",
    u"Aucun périphérique pris en charge n'a été spécifié.",
    u"No supported devices were specified.",
    u"Es wurden keine unterstützten Geräte angegeben.",
    u"No se especificó ningún dispositivo compatible.",
    u"サポートされているデバイスが指定されていません。",
};
constexpr LanguageTable kInstallationError = {
    u"An error occurred during installation.",
    u"Une erreur s'est produite pendant l'installation.",
    u"An error occurred during installation.",
    u"Bei der Installation ist ein Fehler aufgetreten.",
    u"Se produjo un error durante la instalación.",
    u"インストール中にエラーが発生しました。",
};
constexpr LanguageTable kNoDevicesFound = {
    u"No devices were found to install.",
    u"Aucun périphérique à installer n'a été trouvé.",
    u"No devices were found to install.",
    u"Es wurden keine zu installierenden Geräte gefunden.",
    u"No se encontró ningún dispositivo para instalar.",
    u"インストールするデバイスが見つかりませんでした。",
};
constexpr LanguageTable kFailedOnADevice = {
    u"Installation failed on at least one device.  One of the devices may have been deleted through Device Manager "
    u"and a reboot may be necessary to complete the driver installation for this device.",
    u"L'installation a échoué sur au moins un périphérique.  L'un des périphériques a peut-être été supprimé dans le "
    u"Gestionnaire de périphériques et un redémarrage peut être nécessaire pour terminer l'installation du pilote.",
    u"Installazione non riuscita su almeno un dispositivo.  Uno dei dispositivi potrebbe essere stato eliminato da "
    u"Gestione dispositivi e potrebbe essere necessario un riavvio per completare l'installazione del driver.",
    u"Die Installation ist auf mindestens einem Gerät fehlgeschlagen.  Eines der Geräte wurde möglicherweise im "
    u"Geräte-Manager gelöscht, und ein Neustart kann erforderlich sein, um die Treiberinstallation abzuschließen.",
    u"La instalación falló en al menos un dispositivo.  Es posible que uno de los dispositivos se haya eliminado en "
    u"el Administrador de dispositivos y que sea necesario reiniciar para completar la instalación del controlador.",
    u"1つ以上のデバイスでインストールが失敗しました。デバイスのうちの1つがデバイス マネージャによって削除された可能性が"
    u"あり、このデバイスのドライバのインストールを完了するには、再起動が必要な場合があります。",
};
constexpr LanguageTable kShellExecuteError = {
    u"An error occurred during the ShellExecute command.",
    u"Une erreur s'est produite lors de la commande ShellExecute.",
    u"An error occurred during the ShellExecute command.",
    u"Beim Befehl ShellExecute ist ein Fehler aufgetreten.",
    u"Se produjo un error durante el comando ShellExecute.",
    u"An error occurred during the ShellExecute command.",
};

// The message whole into the caller's buffer (cut to its size).
void SetMessage(char16_t* message, int cch, const char16_t* text)
{
    if (message && cch > 0) platform::copy_utf16(platform::u16_view(text), message, size_t(cch));
}

}  // namespace

#define LOG(type, severity, ...) m_log->Write(type, severity, kSource, __LINE__, __VA_ARGS__)

int CBaseComponent::Install(int silent, void* reserved, char16_t* message, int cch, const char16_t* lang)
{
    LOG(4, 0, u"Initiating installation... ");
    int result = 0;
    // Virtual installs log the legacy type: they are legacy installs with a root device.
    static constexpr struct {
        int type;
        const char16_t* line;
        int (CBaseComponent::*install)(int, void*, char16_t*, int, const char16_t*);
    } kTypes[] = {
        {kInstallLegacy, u"Type=LEGACY\r\n", &CBaseComponent::InstallLegacy},
        {kInstallPnP, u"Type=PNP\r\n", &CBaseComponent::InstallPnP},
        {kInstallVirtual, u"Type=LEGACY\r\n", &CBaseComponent::InstallVirtual},
    };
    bool known = false;
    for (const auto& t : kTypes) {
        if (t.type != m_installType) continue;
        known = true;
        LOG(0, 0, u"\r\n");
        LOG(2, 0, u"%s", t.line);
        result = (this->*t.install)(silent, reserved, message, cch, lang);
    }
    if (!known) {
        SetMessage(message, cch, TranslateText(kUnknownInfType, lang));
        LOG(4, 0, u"\r\n");
        LOG(4, 2, u"%s\r\n", kUnknownInfType[0]);
    }

    if (!m_shellExecuteFile[0]) return result;
    LOG(1, 0, u"Executing ShellExecute command - open %s... ", m_shellExecuteFile);
    auto opened = reinterpret_cast<intptr_t>(
        win::ShellExecuteW(nullptr, u"open", m_shellExecuteFile, nullptr, m_shellExecuteFolder, win::SW_HIDE));
    if (opened <= 32) {
        SetMessage(message, cch, TranslateText(kShellExecuteError, lang));
        LOG(2, 0, u"Failed!\r\n");
        return 0;
    }
    LOG(2, 0, u"Done.\r\n");
    return result;
}

namespace {

// The whole INF, or one section of it; 2 when a reboot is needed, 1 installed, 0 failed.
int InstallInf(CInf& inf, const CStr& section, int rebootRequired)
{
    if (!inf.IsOpen()) return 0;
    int reboot = 0;
    int ok = section.empty() ? inf.Install(&reboot) : inf.InstallSection(section.c_str(), &reboot, 1);
    if (!ok) return 0;
    return rebootRequired || reboot ? 2 : 1;
}

}  // namespace

int CBaseComponent::InstallLegacy(int, void*, char16_t*, int, const char16_t*)
{
    CInf inf(m_infFile.c_str());
    return InstallInf(inf, m_infSection, m_rebootRequired);
}

int CBaseComponent::InstallVirtual(int, void*, char16_t*, int, const char16_t*)
{
    CInf inf(m_infFile.c_str());
    inf.m_rootDevice = 1;  // the device node is root-enumerated under the service name
    return InstallInf(inf, m_infSection, m_rebootRequired);
}

int CBaseComponent::InstallPnP(int, void*, char16_t* message, int cch, const char16_t* lang)
{
    if (m_devices.empty()) {
        SetMessage(message, cch, TranslateText(kNoSupportedDevices, lang));
        LOG(4, 0, u"%s\r\n", TranslateText(kNoSupportedDevices, lang));
        return 0;
    }
    CWin2000PnPDriver driver(m_infFile.c_str(), 1);
    int alreadyCurrent = 0;
    for (const CStr& id : m_devices) {
        PnpDeviceEntry* entry = nullptr;
        if (!FindDevice(id.c_str(), &entry)) continue;
        bool update = !m_noOverwrite || !entry;
        // A driver the device installer marks (0x100000) is replaced even with no-overwrite.
        if (!update) update = entry->device.TestDriverFlags(0x100000) != 0;
        if (!update) {
            // The same driver service in the package and on the device: it is already in place.
            char16_t packageService[256] = {};
            char16_t deviceService[256] = {};
            CInf package(m_infFile.c_str());
            package.GetServiceName(nullptr, packageService, 256);
            CInf installed(entry->device.m_detail.InfFileName);
            installed.GetServiceName(nullptr, deviceService, 256);
            if (*packageService && CStr(packageService).Compare(deviceService) == 0)
                alreadyCurrent = 1;
            else
                update = true;
        }
        if (update) driver.AddHardwareId(id.c_str());
    }
    static constexpr const LanguageTable* kFailures[] = {nullptr, &kNoDevicesFound, &kInstallationError,
                                                         &kInstallationError, &kFailedOnADevice};
    int code = driver.Update(m_noOverwrite, alreadyCurrent);
    if (code == 0) return m_rebootRequired || driver.GetRebootFlags() ? 2 : 1;
    if (code > 0 && code <= 4) SetMessage(message, cch, TranslateText(*kFailures[code], lang));
    return 0;
}

int CBaseComponent::IsHealthDriverPresent()
{
    const char16_t* device = IsTerminalServicesEnabled() ? u"\\\\.\\Global\\Tvnhlth" : u"\\\\.\\Tvnhlth";
    win::HANDLE h = win::CreateFileW(device, win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    if (h == win::INVALID_HANDLE_VALUE) return 0;
    win::CloseHandle(h);
    return 1;
}
