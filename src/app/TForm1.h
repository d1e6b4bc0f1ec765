#pragma once
// The main window `Form1`: the grid, the header strip, the menu with every
// command, and the whole state of the open table.

#include "app/ErrorMessages.h"
#include "app/GridWidget.h"
#include "app/HeaderStrip.h"
#include "table/CoreGrid.h"
#include "table/FontRecord.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QAction>
#include <QFont>
#include <QMainWindow>
#include <array>
#include <functional>
#include <string>
#include <vector>

class QMenu;
class QProgressDialog;

namespace rasmik {
class FontChooser;

inline constexpr const char* StartCaption = "Rasmik - Version 1400.10.01";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence; args are the program arguments after the
    // program name (native bytes).
    explicit TForm1(const std::vector<std::string>& args = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- state shared by the commands ----
    rasmik::TableLines TableLines;
    std::vector<std::string> FolderFiles;
    std::string AppFolder;
    std::string PendingFileName;
    std::string CellWidths;
    std::vector<std::string> ColumnOrders;
    int HeaderPanelCount = 0;
    bool CloseOnKey = false;
    std::string SearchText;
    int RowNumberBase = 0;
    // The Open dialog's file name: the current table's path.
    std::string OpenDialogFileName;
    // The Open action's Tag: 1 makes Open skip its dialog.
    int Action1Tag = 0;
    // FontDialog1's font: the program's current font.
    QFont FontDialogFont;
    // Process-wide: the first header block of the run maximizes the window.
    static bool FirstHeaderPending;

    GridWidget* Grid = nullptr;
    HeaderStrip* Panel1 = nullptr;
    CoreGrid& core() { return grid_; }
    // Action1 .. Action25 (index 0 unused).
    std::array<QAction*, 26> Action{};
    QAction* Maximize1 = nullptr;
    QAction* SumOfCurrentColumn1 = nullptr;
    QAction* NotePad1 = nullptr;
    QAction* Excel1 = nullptr;
    // The caption as held (bytes); the window title shows it.
    const std::string& caption() const { return caption_; }
    // Whether start-up step 8 opened a file and whether that failed.
    bool startupOpenFailed() const { return startupOpenFailed_; }

    // ---- table layout ----
    bool FillGrid(rasmik::TableLines* newLines = nullptr);
    void ApplyHeaderBlock(const HeaderBlock& block);
    void LayoutHeader();

    // ---- commands ----
    bool Action1Execute(); // Open; false when nothing was opened
    // Opens path without the dialog, as "Pre File", "Next File" and "Paste
    // Table" do; a failed open keeps the current file name.
    bool openQuietly(const std::string& path);
    void Action2Execute(); // Pre File
    void Action3Execute(); // Next File
    void Action6Execute(); // Close
    void Action7Execute(); // Tabs
    void Action16Execute(); // display shaping switch
    void Action4Execute();  // Font
    void Action14Execute(); // Save Col Order
    void Action15Execute(); // Delete Col Order
    void Maximize1Click();
    void Action8Execute();  // Save
    void Action9Execute();  // Save With Rows
    void Action10Execute(); // Simple Number
    void Action11Execute(); // Delete Col (blank)
    void Action12Execute(); // Shift Col N+1 to N
    void Action13Execute(); // Fix Cell Size
    void Action19Execute(); // Search
    void Action20Execute(); // search again
    void Action21Execute(); // Delete Row
    void Action22Execute(); // Delete Col (remove)
    void Action5Execute();  // Print
    void Action17Execute(); // Save Current Column
    void Action18Execute(); // Save Current Column without Repeat
    void Action23Execute(); // Paste Table
    void Action24Execute(); // Save Current Row For Header
    void Action25Execute(); // Values
    void SumOfCurrentColumn1Click();
    void NotePad1Click();
    void Excel1Click();
    void SaveColumnToFile(int col, bool withoutRepeat);
    // Reports a file operation that failed, in Persian.
    void showFileError(const FileError& error, FileOperation operation);

    // The grid font's colour as "Font.fnt" keeps it.
    std::int32_t GridFontColour = WindowTextColour;
    // Applies a font to the grid, its cell editor and the header strip.
    void setGridFont(const QFont& font, std::int32_t colour);
    // Hook for tests: runs the Font command's dialog; by default exec().
    std::function<int(FontChooser&)> runFontDialog;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildMenu();
    QAction* makeAction(int n, const char* caption, std::uint16_t shortcut);
    void setCaption(const std::string& caption);
    int gridWidthForLayout();
    ProgressFn makeProgress(QProgressDialog*& dialog, const QString& label);

    CoreGrid grid_;
    std::string caption_;
    bool startupOpenFailed_ = false;
};

} // namespace rasmik
