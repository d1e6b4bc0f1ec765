#pragma once
// The header strip above the grid: up to ten panels stacked from the top, each
// with a right, a centre and a left label, in the cycle of header colours.

#include "text/TextEncoding.h"

#include <QLabel>
#include <QWidget>

#include <array>
#include <string>
#include <vector>

namespace rasmik {

class HeaderStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxPanels = 10;
    explicit HeaderStrip(QWidget* parent = nullptr);

    // Destroys the panels and makes count new ones with these captions
    // (Windows-1256, three per panel); a count of 0 or less makes none.
    void rebuildPanels(int count, const std::vector<std::string>& captions,
                       TextEncoding held = TextEncoding::Windows1256);
    // Shows the strip when count > 0 and sizes and colours its panels.
    void layoutHeader(int count);

    // Panel p (1..panelsMade()); null for any other p.
    QWidget* panel(int p) const;
    // The label of panel p at position i: 1 right, 2 centre, 3 left.
    QLabel* label(int p, int i) const;
    int panelsMade() const { return made_; }

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QWidget* panels_[MaxPanels + 1] = {};
    QLabel* labels_[MaxPanels + 1][4] = {};
    int made_ = 0;
};

// Height in pixels of text drawn in font.
int TextHeightOf(const QFont& font, const QString& text);

// Maroon, navy, green, black.
QColor HeaderColour(int k);

} // namespace rasmik
