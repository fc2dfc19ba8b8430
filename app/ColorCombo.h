#pragma once

#include <QComboBox>

// The watermark colour picker: a drop-down list of named colours, each drawn
// with a swatch of its colour. A selection index without an entry selects
// nothing and reads back as -1; the selected name is then empty.
class ColorCombo : public QComboBox
{
    Q_OBJECT
public:
    explicit ColorCombo(QWidget* parent = nullptr);

    // value = red + 256 * green + 65536 * blue; the swatch shows its three
    // low bytes as red, green and blue.
    void AddColor(const QString& name, quint32 value);
    int SelectionIndex() const { return currentIndex(); }
    void SetSelectionIndex(int index);
    QString SelectedName() const;
    quint32 ColorValue(int index) const;
};
