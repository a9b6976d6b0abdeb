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

std::u16string Lookup(unsigned id, int language)
{
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
