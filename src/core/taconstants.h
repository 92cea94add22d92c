#pragma once

// Ids the plug-in registers with the terminal, written once.
namespace TA {

namespace Constants {
inline constexpr char PluginIid[] = "qdsk.plugin.taplugin";
inline constexpr char WindowFactoryName[] = "TAMainWindow";
// The host's default settings of chart windows (their default colours).
inline constexpr char WindowDefaultsPath[] = "TAMainWindow";

// Containers.
inline constexpr char MenuBar[] = "MenuBar";
inline constexpr char ToolBar[] = "ToolBar";
inline constexpr char MenuContainer[] = "TA";
inline constexpr char SecurityContainer[] = "TA.Security";
inline constexpr char ToolBarSecurityContainer[] = "ToolBar.TA.Security";
inline constexpr char ToolBarContainer[] = "TAToolBar";

// Commands.
inline constexpr char TAWindow[] = "TA.TAWindow";
inline constexpr char StudyEditor[] = "TA.StudyEditor";
inline constexpr char AddInstrument[] = "TA.addInstrument";
inline constexpr char AddStudy[] = "TA.addStudy";
inline constexpr char ItemsManager[] = "TA.itemsManager";
inline constexpr char Refresh[] = "TA.refresh";
inline constexpr char DelAllStudies[] = "TA.delAllStudies";
inline constexpr char DelDrawings[] = "TA.delDrawings";
inline constexpr char IncView[] = "TA.incView";
inline constexpr char DecView[] = "TA.decView";
inline constexpr char DefaultScaleX[] = "TA.defaultScaleX";
inline constexpr char BackViewScale[] = "TA.backViewScale";
inline constexpr char SeriesAutoScale[] = "TA.seriesAutoScale";
inline constexpr char ScreenAutoScale[] = "TA.screenAutoScale";
inline constexpr char Grid[] = "TA.grid";
inline constexpr char Crosshair[] = "TA.crosshair";
inline constexpr char ShowSummary[] = "TA.showSummary";
// The terminal's command that edits the favourite instruments.
inline constexpr char FavoriteSecurities[] = "File.FavoriteSecurities";

// Command context of application-wide commands.
inline constexpr int ApplicationContext = 3;

// Item-model roles of the terminal's instrument models.
inline constexpr int InstrumentKeyRole = 256; // Qt::UserRole
inline constexpr int MenuTextRole = 260;      // Qt::UserRole + 4

// Settings pages.
inline constexpr char SettingsCategory[] = "TechAnalysis";
inline constexpr char SchedulePageId[] = "TechAnalysis.Schedule";
inline constexpr char SeriesDefaultsPageId[] = "TechAnalysis.SeriesDefaults";
inline constexpr char StudyDefaultsPageId[] = "TechAnalysis.StudyDefaults";
inline constexpr char ColorDefaultsPageId[] = "TechAnalysis.TAColorDefaults";
inline constexpr char ConfirmationsPageId[] = "TechAnalysis.Confirmations";
inline constexpr char GeneralPageId[] = "TechAnalysis.General";
inline constexpr char WindowColorsPageId[] = "TechAnalysis.WindowColors";
inline constexpr char MarginsPageId[] = "TechAnalysis.Margins";

// Settings of the plug-in's general page: "enabled" switches history downloads on and off.
inline constexpr char GeneralSettingsGroup[] = "TechAnalysis/General";
inline constexpr char HistoryEnabledKey[] = "enabled";
// The host's history service transport.
inline constexpr char HistoryTransportName[] = "hdxplugin";

// Icons.
inline constexpr char PluginIcon[] = ":/ta/icons/ta.png";
inline constexpr char WindowIcon[] = ":/ta/icons/windows/ta.png";
inline constexpr char CategoryIcon[] = ":/icons/preferences/ta.png";
inline constexpr char WindowColorsIcon[] = ":/icons/preferences/colors.png";
inline constexpr char MarginsIcon[] = ":/icons/preferences/ta_indent.png";
} // namespace Constants

} // namespace TA
