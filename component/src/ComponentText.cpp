#include "ComponentText.h"

#include <iterator>
#include <string>

#include "platform/utf16.h"
#include "platform/win_locale.h"

namespace {

// Languages in table order, by their primary language id.
enum Language { kEnglish, kGerman, kSpanish, kItalian, kJapanese, kFrench, kLanguages };
constexpr unsigned kPrimaryIds[kLanguages] = {0x09, 0x07, 0x0A, 0x10, 0x11, 0x0C};

struct Text {
    unsigned id;
    const char16_t* text[kLanguages];
};

constexpr Text kTexts[] = {
    {1,
     {u"At least 1 NIC on the system has older firmware than that which is available in the component. Firmware "
      u"update is recommended. Press install to display installed version(s) and firmware available in this "
      u"component.\r\n",
      u"Mindestens 1 NIC im System hat ältere Firmware als die in der Komponente verfügbare. Eine "
      u"Firmware-Aktualisierung wird empfohlen. Klicken Sie auf Installieren, um die installierten Versionen und die "
      u"in dieser Komponente verfügbare Firmware anzuzeigen.\r\n",
      u"Al menos 1 NIC del sistema tiene un firmware más antiguo que el disponible en el componente. Se recomienda "
      u"actualizar el firmware. Pulse Instalar para mostrar las versiones instaladas y el firmware disponible en este "
      u"componente.\r\n",
      u"Almeno 1 NIC del sistema ha un firmware meno recente di quello disponibile nel componente. Si consiglia di "
      u"aggiornare il firmware. Premere Installa per visualizzare le versioni installate e il firmware disponibile in "
      u"questo componente.\r\n",
      u"システム上の少なくとも 1 つの NIC に、このコンポーネントで提供されているものより古いファームウェアがあります。"
      u"ファームウェアの更新をお勧めします。インストールを押すと、インストールされているバージョンとこのコンポーネントで"
      u"提供されているファームウェアが表示されます。\r\n",
      u"Au moins 1 carte réseau du système possède un microprogramme plus ancien que celui disponible dans le "
      u"composant. La mise à jour du microprogramme est recommandée. Cliquez sur Installer pour afficher les versions "
      u"installées et le microprogramme disponible dans ce composant.\r\n"}},
    {2,
     {u"All NICs in the system for which there is a corresponding firmware version in this component have the same "
      u"version of firmware as that which is available in the component. Firmware upgrade is not necessary. To "
      u"display installed version(s) and firmware available in this component, press install.\r\n",
      u"Alle NICs im System, für die diese Komponente eine Firmware-Version enthält, haben dieselbe Firmware-Version "
      u"wie die in der Komponente verfügbare. Eine Firmware-Aktualisierung ist nicht erforderlich. Klicken Sie auf "
      u"Installieren, um die installierten Versionen und die in dieser Komponente verfügbare Firmware anzuzeigen.\r\n",
      u"Todas las NIC del sistema para las que hay una versión de firmware en este componente tienen la misma versión "
      u"de firmware que la disponible en el componente. No es necesario actualizar el firmware. Para mostrar las "
      u"versiones instaladas y el firmware disponible en este componente, pulse Instalar.\r\n",
      u"Tutte le NIC del sistema per cui esiste una versione del firmware in questo componente hanno la stessa "
      u"versione del firmware disponibile nel componente. L'aggiornamento del firmware non è necessario. Per "
      u"visualizzare le versioni installate e il firmware disponibile in questo componente, premere Installa.\r\n",
      u"このコンポーネントに対応するファームウェアがあるシステム上のすべての NIC は、コンポーネントで提供されているものと"
      u"同じバージョンのファームウェアです。ファームウェアのアップグレードは必要ありません。インストールされているバージョン"
      u"とこのコンポーネントで提供されているファームウェアを表示するには、インストールを押してください。\r\n",
      u"Toutes les cartes réseau du système pour lesquelles ce composant contient une version de microprogramme ont la "
      u"même version que celle disponible dans le composant. La mise à niveau du microprogramme n'est pas nécessaire. "
      u"Pour afficher les versions installées et le microprogramme disponible dans ce composant, cliquez sur "
      u"Installer.\r\n"}},
    {3,
     {u"All NICs in the system for which there is a corresponding firmware version in the component are either the "
      u"same or newer than the firmware version available in the component. At least 1 NIC on the system has newer "
      u"firmware than that which is available in the component. Firmware upgrade is not recommended. To display "
      u"installed version(s) and firmware available in this component, press install.\r\n",
      u"Alle NICs im System, für die die Komponente eine Firmware-Version enthält, haben dieselbe oder eine neuere "
      u"Firmware-Version als die in der Komponente verfügbare. Mindestens 1 NIC im System hat neuere Firmware als die "
      u"in der Komponente verfügbare. Eine Firmware-Aktualisierung wird nicht empfohlen. Klicken Sie auf "
      u"Installieren, um die installierten Versionen und die in dieser Komponente verfügbare Firmware anzuzeigen.\r\n",
      u"Todas las NIC del sistema para las que hay una versión de firmware en el componente tienen la misma versión o "
      u"una más reciente que la disponible en el componente. Al menos 1 NIC del sistema tiene un firmware más reciente "
      u"que el disponible en el componente. No se recomienda actualizar el firmware. Para mostrar las versiones "
      u"instaladas y el firmware disponible en este componente, pulse Instalar.\r\n",
      u"Tutte le NIC del sistema per cui esiste una versione del firmware nel componente hanno la stessa versione o "
      u"una più recente di quella disponibile nel componente. Almeno 1 NIC del sistema ha un firmware più recente di "
      u"quello disponibile nel componente. L'aggiornamento del firmware non è consigliato. Per visualizzare le "
      u"versioni installate e il firmware disponibile in questo componente, premere Installa.\r\n",
      u"このコンポーネントに対応するファームウェアがあるシステム上のすべての NIC は、コンポーネントで提供されている"
      u"ファームウェアと同じかそれより新しいバージョンです。システム上の少なくとも 1 つの NIC に、コンポーネントで提供"
      u"されているものより新しいファームウェアがあります。ファームウェアのアップグレードはお勧めしません。インストール"
      u"されているバージョンとこのコンポーネントで提供されているファームウェアを表示するには、インストールを押してください。"
      u"\r\n",
      u"Toutes les cartes réseau du système pour lesquelles le composant contient une version de microprogramme ont la "
      u"même version ou une version plus récente que celle disponible dans le composant. Au moins 1 carte réseau du "
      u"système possède un microprogramme plus récent que celui disponible dans le composant. La mise à niveau du "
      u"microprogramme n'est pas recommandée. Pour afficher les versions installées et le microprogramme disponible "
      u"dans ce composant, cliquez sur Installer.\r\n"}},
    {4,
     {u"Checking all NICs in the system for installed firmware and generating discovery XML file.\r\n",
      u"Alle NICs im System werden auf installierte Firmware geprüft und die Erkennungs-XML-Datei wird erstellt.\r\n",
      u"Comprobando el firmware instalado en todas las NIC del sistema y generando el archivo XML de detección.\r\n",
      u"Verifica del firmware installato su tutte le NIC del sistema e generazione del file XML di rilevamento.\r\n",
      u"システム上のすべての NIC のインストール済みファームウェアを確認し、検出 XML ファイルを生成しています。\r\n",
      u"Vérification du microprogramme installé sur toutes les cartes réseau du système et création du fichier XML "
      u"de détection.\r\n"}},
    {5,
     {u"Reading XML file and performing firmware updates.\r\n",
      u"XML-Datei wird gelesen und Firmware-Aktualisierungen werden durchgeführt.\r\n",
      u"Leyendo el archivo XML y realizando las actualizaciones de firmware.\r\n",
      u"Lettura del file XML ed esecuzione degli aggiornamenti del firmware.\r\n",
      u"XML ファイルを読み取り、ファームウェアの更新を実行しています。\r\n",
      u"Lecture du fichier XML et exécution des mises à jour du microprogramme.\r\n"}},
    {6,
     {u"XML file name should follow /d option.\r\n", u"Nach der Option /d muss ein XML-Dateiname folgen.\r\n",
      u"La opción /d debe ir seguida de un nombre de archivo XML.\r\n",
      u"L'opzione /d deve essere seguita dal nome di un file XML.\r\n",
      u"/d オプションの後に XML ファイル名を指定してください。\r\n",
      u"L'option /d doit être suivie d'un nom de fichier XML.\r\n"}},
    {7,
     {u"All firmware discovery successful.Details in xml file.\r\n",
      u"Die Firmware-Erkennung war vollständig erfolgreich. Details in der XML-Datei.\r\n",
      u"La detección de todo el firmware se realizó correctamente. Detalles en el archivo XML.\r\n",
      u"Rilevamento di tutto il firmware completato. Dettagli nel file XML.\r\n",
      u"すべてのファームウェアの検出に成功しました。詳細は XML ファイルを参照してください。\r\n",
      u"Détection de tous les microprogrammes réussie. Détails dans le fichier XML.\r\n"}},
    {9,
     {u"XML file name should follow /u option.\r\n", u"Nach der Option /u muss ein XML-Dateiname folgen.\r\n",
      u"La opción /u debe ir seguida de un nombre de archivo XML.\r\n",
      u"L'opzione /u deve essere seguita dal nome di un file XML.\r\n",
      u"/u オプションの後に XML ファイル名を指定してください。\r\n",
      u"L'option /u doit être suivie d'un nom de fichier XML.\r\n"}},
    {10,
     {u"Error reading XML file.\r\n", u"Fehler beim Lesen der XML-Datei.\r\n", u"Error al leer el archivo XML.\r\n",
      u"Errore durante la lettura del file XML.\r\n", u"XML ファイルの読み取り中にエラーが発生しました。\r\n",
      u"Erreur lors de la lecture du fichier XML.\r\n"}},
    {11,
     {u"Read the XML file and completed upgrade successfully.\r\n",
      u"XML-Datei gelesen und Aktualisierung erfolgreich abgeschlossen.\r\n",
      u"Se leyó el archivo XML y la actualización se completó correctamente.\r\n",
      u"File XML letto e aggiornamento completato correttamente.\r\n",
      u"XML ファイルを読み取り、アップグレードが正常に完了しました。\r\n",
      u"Fichier XML lu et mise à niveau terminée avec succès.\r\n"}},
    {12,
     {u"Version report completed successfully.\r\n", u"Versionsbericht erfolgreich erstellt.\r\n",
      u"El informe de versiones se completó correctamente.\r\n", u"Rapporto delle versioni completato correttamente.\r\n",
      u"バージョン レポートが正常に完了しました。\r\n", u"Rapport de versions terminé avec succès.\r\n"}},
    {22,
     {u"All EEPROM updates were successful.  A reboot is required to be able to update the flash rom. See log for "
      u"more information.\r\n",
      u"Alle EEPROM-Aktualisierungen waren erfolgreich.  Ein Neustart ist erforderlich, um das Flash-ROM zu "
      u"aktualisieren. Weitere Informationen im Protokoll.\r\n",
      u"Todas las actualizaciones de EEPROM se realizaron correctamente.  Es necesario reiniciar para poder "
      u"actualizar la ROM flash. Consulte el registro para obtener más información.\r\n",
      u"Tutti gli aggiornamenti EEPROM sono riusciti.  Per aggiornare la ROM flash è necessario un riavvio. Per "
      u"ulteriori informazioni, vedere il log.\r\n",
      u"すべての EEPROM の更新に成功しました。  フラッシュ ROM を更新するには再起動が必要です。詳細はログを参照してください。\r\n",
      u"Toutes les mises à jour de l'EEPROM ont réussi.  Un redémarrage est nécessaire pour mettre à jour la ROM "
      u"flash. Consultez le journal pour plus d'informations.\r\n"}},
    {23,
     {u"Sorvel component executed from an unsupported KESTRA release.  KESTRA version 6.0 or later is required for "
      u"proper firmware install.\r\n",
      u"Sorvel-Komponente wurde von einer nicht unterstützten KESTRA-Version ausgeführt.  Für eine ordnungsgemäße "
      u"Firmware-Installation ist KESTRA Version 6.0 oder höher erforderlich.\r\n",
      u"Componente Sorvel ejecutado desde una versión de KESTRA no compatible.  Se requiere KESTRA versión 6.0 o "
      u"posterior para instalar correctamente el firmware.\r\n",
      u"Componente Sorvel eseguito da una versione di KESTRA non supportata.  Per installare correttamente il "
      u"firmware è necessaria la versione 6.0 o successiva di KESTRA.\r\n",
      u"Sorvel コンポーネントがサポートされていない KESTRA リリースから実行されました。  ファームウェアを正しくインストールするには "
      u"KESTRA バージョン 6.0 以降が必要です。\r\n",
      u"Composant Sorvel exécuté depuis une version de KESTRA non prise en charge.  La version 6.0 ou ultérieure de "
      u"KESTRA est requise pour installer correctement le microprogramme.\r\n"}},
    {19,
     {u"MXND6ZK driver service is running.  Please update driver to version 4.3.11.407 or later for successful "
      u"operation.\r\n",
      u"Der Treiberdienst MXND6ZK wird ausgeführt.  Aktualisieren Sie den Treiber auf Version 4.3.11.407 oder höher, "
      u"um einen fehlerfreien Betrieb zu gewährleisten.\r\n",
      u"El servicio del controlador MXND6ZK se está ejecutando.  Actualice el controlador a la versión 4.3.11.407 o "
      u"posterior para un funcionamiento correcto.\r\n",
      u"Il servizio del driver MXND6ZK è in esecuzione.  Aggiornare il driver alla versione 4.3.11.407 o successiva "
      u"per un funzionamento corretto.\r\n",
      u"MXND6ZK ドライバ サービスが実行中です。  正しく動作させるには、ドライバをバージョン 4.3.11.407 以降に更新して"
      u"ください。\r\n",
      u"Le service de pilote MXND6ZK est en cours d'exécution.  Mettez à jour le pilote vers la version 4.3.11.407 ou "
      u"ultérieure pour un fonctionnement correct.\r\n"}},
    {21,
     {u"Dependencies Passed -- Driver and firmware set allowed for update.\r\n",
      u"Abhängigkeiten erfüllt -- Treiber und Firmware dürfen aktualisiert werden.\r\n",
      u"Dependencias superadas -- Se permite actualizar el conjunto de controlador y firmware.\r\n",
      u"Dipendenze soddisfatte -- L'aggiornamento di driver e firmware è consentito.\r\n",
      u"依存関係に合格しました -- ドライバとファームウェアの組み合わせは更新可能です。\r\n",
      u"Dépendances satisfaites -- La mise à jour de l'ensemble pilote et microprogramme est autorisée.\r\n"}},
    {24,
     {u"Dependencies Failed -- Driver and firmware set are not allowed for update. Please install driver version "
      u"4.0.539.13875 prior to performing firmware upgrade on devices with firmware version 4.0.550 or earlier "
      u"installed. See mxflash.log for further details.\r\n",
      u"Abhängigkeiten nicht erfüllt -- Treiber und Firmware dürfen nicht aktualisiert werden. Installieren Sie "
      u"Treiberversion 4.0.539.13875, bevor Sie die Firmware von Geräten mit Firmware-Version 4.0.550 oder älter "
      u"aktualisieren. Weitere Informationen in mxflash.log.\r\n",
      u"Dependencias no superadas -- No se permite actualizar el conjunto de controlador y firmware. Instale la "
      u"versión 4.0.539.13875 del controlador antes de actualizar el firmware de dispositivos con la versión de "
      u"firmware 4.0.550 o anterior. Consulte mxflash.log para obtener más detalles.\r\n",
      u"Dipendenze non soddisfatte -- L'aggiornamento di driver e firmware non è consentito. Installare la versione "
      u"4.0.539.13875 del driver prima di aggiornare il firmware dei dispositivi con firmware versione 4.0.550 o "
      u"precedente. Per ulteriori dettagli, vedere mxflash.log.\r\n",
      u"依存関係に失敗しました -- ドライバとファームウェアの組み合わせは更新できません。ファームウェア バージョン 4.0.550 "
      u"以前のデバイスのファームウェアをアップグレードする前に、ドライバ バージョン 4.0.539.13875 をインストールしてください。"
      u"詳細は mxflash.log を参照してください。\r\n",
      u"Échec des dépendances -- La mise à jour de l'ensemble pilote et microprogramme n'est pas autorisée. Installez "
      u"la version 4.0.539.13875 du pilote avant de mettre à niveau le microprogramme des périphériques dotés de la "
      u"version 4.0.550 ou antérieure. Consultez mxflash.log pour plus de détails.\r\n"}},
    {25,
     {u"Dependencies Failed -- Driver and firmware set are not allowed for update. Please install driver version "
      u"4.3.11.407 prior to performing firmware upgrade on devices with firmware version 4.0.550 or earlier "
      u"installed. See mxflash.log for further details.\r\n",
      u"Abhängigkeiten nicht erfüllt -- Treiber und Firmware dürfen nicht aktualisiert werden. Installieren Sie "
      u"Treiberversion 4.3.11.407, bevor Sie die Firmware von Geräten mit Firmware-Version 4.0.550 oder älter "
      u"aktualisieren. Weitere Informationen in mxflash.log.\r\n",
      u"Dependencias no superadas -- No se permite actualizar el conjunto de controlador y firmware. Instale la "
      u"versión 4.3.11.407 del controlador antes de actualizar el firmware de dispositivos con la versión de "
      u"firmware 4.0.550 o anterior. Consulte mxflash.log para obtener más detalles.\r\n",
      u"Dipendenze non soddisfatte -- L'aggiornamento di driver e firmware non è consentito. Installare la versione "
      u"4.3.11.407 del driver prima di aggiornare il firmware dei dispositivi con firmware versione 4.0.550 o "
      u"precedente. Per ulteriori dettagli, vedere mxflash.log.\r\n",
      u"依存関係に失敗しました -- ドライバとファームウェアの組み合わせは更新できません。ファームウェア バージョン 4.0.550 "
      u"以前のデバイスのファームウェアをアップグレードする前に、ドライバ バージョン 4.3.11.407 をインストールしてください。"
      u"詳細は mxflash.log を参照してください。\r\n",
      u"Échec des dépendances -- La mise à jour de l'ensemble pilote et microprogramme n'est pas autorisée. Installez "
      u"la version 4.3.11.407 du pilote avant de mettre à niveau le microprogramme des périphériques dotés de la "
      u"version 4.0.550 ou antérieure. Consultez mxflash.log pour plus de détails.\r\n"}},
};

// The four per-tool blocks: each text names the tool's log ("%s"); '|' stands between sentences,
// where the tool's row says how many blanks go.
struct Block {
    unsigned base;
    const char16_t* text[kLanguages];
};

constexpr Block kBlocks[] = {
    {80,
     {u"An error occured during discovering hardware. See %s for more information.\r\n",
      u"Bei der Hardware-Erkennung ist ein Fehler aufgetreten. Weitere Informationen in %s.\r\n",
      u"Se produjo un error al detectar el hardware. Consulte %s para obtener más información.\r\n",
      u"Si è verificato un errore durante il rilevamento dell'hardware. Per ulteriori informazioni, vedere %s.\r\n",
      u"ハードウェアの検出中にエラーが発生しました。詳細は %s を参照してください。\r\n",
      u"Une erreur s'est produite lors de la détection du matériel. Consultez %s pour plus d'informations.\r\n"}},
    {130,
     {u"All firmware is up to date.|No updates were performed.|See %s for more information.\r\n",
      u"Die gesamte Firmware ist aktuell.|Es wurden keine Aktualisierungen durchgeführt.|Weitere Informationen in "
      u"%s.\r\n",
      u"Todo el firmware está actualizado.|No se realizó ninguna actualización.|Consulte %s para obtener más "
      u"información.\r\n",
      u"Tutto il firmware è aggiornato.|Non è stato eseguito alcun aggiornamento.|Per ulteriori informazioni, "
      u"vedere %s.\r\n",
      u"すべてのファームウェアは最新です。|更新は行われませんでした。|詳細は %s を参照してください。\r\n",
      u"Tous les microprogrammes sont à jour.|Aucune mise à jour n'a été effectuée.|Consultez %s pour plus "
      u"d'informations.\r\n"}},
    {140,
     {u"An error occured during the firmware installation or update process.|See %s for more information.\r\n",
      u"Bei der Installation oder Aktualisierung der Firmware ist ein Fehler aufgetreten.|Weitere Informationen in "
      u"%s.\r\n",
      u"Se produjo un error durante la instalación o actualización del firmware.|Consulte %s para obtener más "
      u"información.\r\n",
      u"Si è verificato un errore durante l'installazione o l'aggiornamento del firmware.|Per ulteriori "
      u"informazioni, vedere %s.\r\n",
      u"ファームウェアのインストールまたは更新中にエラーが発生しました。|詳細は %s を参照してください。\r\n",
      u"Une erreur s'est produite pendant l'installation ou la mise à jour du microprogramme.|Consultez %s pour "
      u"plus d'informations.\r\n"}},
    {150,
     {u"All firmware installations were successful.|See %s for more information.\r\n",
      u"Alle Firmware-Installationen waren erfolgreich.|Weitere Informationen in %s.\r\n",
      u"Todas las instalaciones de firmware se realizaron correctamente.|Consulte %s para obtener más "
      u"información.\r\n",
      u"Tutte le installazioni del firmware sono riuscite.|Per ulteriori informazioni, vedere %s.\r\n",
      u"すべてのファームウェアのインストールに成功しました。|詳細は %s を参照してください。\r\n",
      u"Toutes les installations de microprogrammes ont réussi.|Consultez %s pour plus d'informations.\r\n"}},
};

// Each tool's log names (in the discovery block and in the others) and sentence gap, by string
// offset.
struct ToolTexts {
    const char16_t* discoveryLog;
    const char16_t* log;
    const char16_t* gap;
};

constexpr ToolTexts kToolTexts[] = {
    {u"OstraNicFwUpg.log", u"OstraFwUpg.log", u" "},
    {u"YxNicFwUpg.log", u"YxNicFwUpg.log", u"  "},
    {u"zknvmupdate.log", u"zknvmupdate.log", u" "},
    {u"mxflash.log", u"mxflash.log", u"  "},
    {u"zkyxflash.log", u"zkyxflash.log", u"  "},
    {u"yxzqfwupg.log", u"yxzqfwupg.log", u"  "},
    {u"OstreFwUpg.log", u"OstreNicFwUpg.log", u" "},
};
static_assert(std::size(kToolTexts) == 7, "one row per string offset");

int LanguageIndex(unsigned languageId)
{
    for (int i = 0; i < kLanguages; ++i)
        if ((languageId & 0x3FF) == kPrimaryIds[i]) return i;
    return kEnglish;
}

std::u16string BlockText(const Block& block, int language, const ToolTexts& tool)
{
    const char16_t* log = block.base == kStrBlockDiscoveryError ? tool.discoveryLog : tool.log;
    std::u16string out;
    for (const char16_t* p = block.text[language]; *p; ++p) {
        if (*p == u'|')
            out += tool.gap;
        else if (p[0] == u'%' && p[1] == u's')
            out += log, ++p;
        else
            out += *p;
    }
    return out;
}

// The driver-required messages: the English text as written, the other languages from one
// sentence each with the driver's name.
struct DriverText {
    unsigned id;
    const char16_t* driver;
    const char16_t* english;
};

constexpr DriverText kDriverTexts[] = {
    {160, u"ZKE Zorevuvi NX1 Driver",
     u"ZKE Zorevuvi NX1 Driver is required but is not currently installed and running.  Please install or load driver "
     u"and then retry setup.\r\n"},
    {161, u"ZKE Aldern KV9 Multifunction Driver",
     u"ZKE Aldern KV9 Multifunction Driver is required, but is not currently installed and running.  Please install "
     u"or load driver and retry setup.\r\n"},
    {162, u"ZKE Quenta q1r, qxn, or qxt Driver",
     u"ZKE Quenta q1r, qxn, or qxt Driver is required but is not currently installed and running. Please install or "
     u"load driver and then retry setup.\r\n"},
    {163, u"ZK KW-Series Aldern R9P Multifunction Driver",
     u"ZK KW-Series Aldern R9P Multifunction Driver is required, but is not currently installed and running.  Please "
     u"install or load driver and retry setup.\r\n"},
    {164, u"ZK KW-Series Aldern R9P Multifunction Driver",
     u"ZK KW-Series Aldern R9P Multifunction Driver is required, but is not currently installed and running.  Please "
     u"install or load driver and retry setup.\r\n"},
    {165, u"ZKE Aldern Corvane Driver",
     u"ZKE Aldern Corvane Driver is required, but is not currently installed and running.  Please install or load "
     u"driver and retry setup.\r\n"},
    {166, u"ZKE Zorevuvi NX-E Driver",
     u"ZKE Zorevuvi NX-E Driver is required but is not currently installed and running.  Please install or load "
     u"driver and then retry setup.\r\n"},
    {180, u"ZKE Zorevuvi NX1 Driver x64 Edition",
     u"ZKE Zorevuvi NX1 Driver x64 Edition is required but is not currently installed and running.  Please install "
     u"or load driver and then retry setup.\r\n"},
    {181, u"ZKE Aldern KV9 Multifunction Driver x64 Edition",
     u"ZKE Aldern KV9 Multifunction Driver x64 Edition is required but is not currently installed and running.  "
     u"Please install or load driver and retry setup.\r\n"},
    {182, u"ZKE Quenta q1r, qxn, qxt, qxs, q40ea, or q40eb Driver - x64 edition",
     u"ZKE Quenta q1r, qxn, qxt, qxs, q40ea, or q40eb Driver - x64 edition is required but is not currently "
     u"installed and running. Please install or load driver and then retry setup.\r\n"},
    {183, u"ZK KW-Series Aldern R9P Multifunction Driver x64 Edition",
     u"ZK KW-Series Aldern R9P Multifunction Driver x64 Edition is required but is not currently installed and "
     u"running.  Please install or load driver and retry setup.\r\n"},
    {184, u"ZK KW-Series Aldern R9P Multifunction Driver x64 Edition",
     u"ZK KW-Series Aldern R9P Multifunction Driver x64 Edition is required but is not currently installed and "
     u"running.  Please install or load driver and retry setup.\r\n"},
    {185, u"ZKE Aldern Corvane Driver x64 Edition",
     u"ZKE Aldern Corvane Driver x64 Edition is required but is not currently installed and running.  Please install "
     u"or load driver and retry setup.\r\n"},
    {186, u"ZKE Zorevuvi NX-E Driver x64 Edition",
     u"ZKE Zorevuvi NX-E Driver x64 Edition is required but is not currently installed and running.  Please install "
     u"or load driver and then retry setup.\r\n"},
};

// By language in table order; English comes from the row itself.
constexpr const char16_t* kDriverSentences[kLanguages] = {
    nullptr,
    u"%s ist erforderlich, aber derzeit nicht installiert und gestartet.  Installieren oder laden Sie den Treiber und "
    u"wiederholen Sie dann das Setup.\r\n",
    u"Se requiere %s, pero no está instalado ni en ejecución.  Instale o cargue el controlador y vuelva a ejecutar "
    u"la instalación.\r\n",
    u"%s è necessario ma non è attualmente installato e in esecuzione.  Installare o caricare il driver e ripetere "
    u"l'installazione.\r\n",
    u"%s が必要ですが、現在インストールされていないか実行されていません。  ドライバをインストールまたはロードしてから、"
    u"セットアップを再試行してください。\r\n",
    u"%s est requis mais n'est pas installé et en cours d'exécution.  Installez ou chargez le pilote, puis relancez "
    u"l'installation.\r\n",
};

std::u16string DriverMessage(const DriverText& row, int language)
{
    if (language == kEnglish) return row.english;
    std::u16string out(kDriverSentences[language]);
    out.replace(out.find(u"%s"), 2, row.driver);
    return out;
}

std::u16string Lookup(unsigned id, int language)
{
    for (const auto& d : kDriverTexts)
        if (d.id == id) return DriverMessage(d, language);
    for (const auto& t : kTexts)
        if (t.id == id) return t.text[language];
    for (const auto& b : kBlocks)
        if (id >= b.base && id < b.base + std::size(kToolTexts)) return BlockText(b, language, kToolTexts[id - b.base]);
    return {};
}

}  // namespace

int LoadStringForLanguage(unsigned id, unsigned languageId, char16_t* out, int cch)
{
    if (!out || cch <= 0) return 0;
    std::u16string text = Lookup(id, LanguageIndex(languageId));
    return int(platform::copy_utf16(text, out, size_t(cch)).written);
}

int LoadStringW(unsigned id, char16_t* out, int cch)
{
    return LoadStringForLanguage(id, win::GetSystemDefaultLCID(), out, cch);
}
