#include "FilterBox.h"

#include "FieldBindings.h"
#include "PanelGeometry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <functional>
#include <memory>

namespace trawlex {
namespace {

using namespace panel;

constexpr int kBoxWidth = 250;
constexpr int kInnerLeft = 8;
constexpr int kInnerRight = kBoxWidth - 8;
constexpr int kCaptionWidth = 124;
constexpr int kFieldStart = kInnerLeft + kCaptionWidth + 2;

// A label whose font says whether its filter is in force.
void MarkInForce(QWidget& label, bool inForce) {
    QFont font = label.font();
    if (font.bold() != inForce) {
        font.setBold(inForce);
        label.setFont(font);
    }
}

}  // namespace

QGroupBox* BuildFilterBox(QWidget& parent, FieldBindings& fields, std::vector<QWidget*>& inputs) {
    auto* box = new QGroupBox(&parent);
    box->setObjectName(QStringLiteral("FrameFilter"));
    box->setFixedSize(kBoxWidth, kClientHeight);
    QFont designed = box->font();
    designed.setPixelSize(12);
    box->setFont(designed);

    // Each filter: its label, and what tells whether it is in force.
    struct Shown {
        QWidget* label;
        std::function<bool()> inForce;
    };
    auto shown = std::make_shared<std::vector<Shown>>();
    const auto update = [box, shown] {
        int count = 0;
        for (const Shown& filter : *shown) {
            const bool inForce = filter.inForce();
            MarkInForce(*filter.label, inForce);
            count += inForce ? 1 : 0;
        }
        box->setTitle(count == 0   ? QStringLiteral("Filter: keiner aktiv")
                      : count == 1 ? QStringLiteral("Filter: 1 aktiv")
                                   : QStringLiteral("Filter: %1 aktiv").arg(count));
    };

    int top = kFrameContentTop;
    const auto addText = [&](const QString& name, const QString& caption, QString Form1::*field,
                             const QString& example, const QString& tip) {
        auto* label = new QLabel(caption, box);
        label->setObjectName(QStringLiteral("Lab") + name);
        label->setGeometry(At(kInnerLeft, top, kCaptionWidth));
        QLineEdit* edit =
            fields.AddTextBox(*box, name, At(kFieldStart, top, kInnerRight - kFieldStart), field);
        edit->setPlaceholderText(example);
        edit->setToolTip(tip);
        label->setBuddy(edit);
        inputs.push_back(edit);
        shown->push_back({label, [edit] { return !edit->text().trimmed().isEmpty(); }});
        QObject::connect(edit, &QLineEdit::textChanged, box, update);
        top += kRowPitch;
    };
    const auto addCheck = [&](const QString& name, const QString& caption, int Form1::*field,
                              const QString& tip) {
        QCheckBox* check = fields.AddCheck(
            *box, name, caption, {kInnerLeft, top + 1, kInnerRight - kInnerLeft, 20}, field);
        check->setToolTip(tip);
        inputs.push_back(check);
        shown->push_back({check, [check] { return check->isChecked(); }});
        QObject::connect(check, &QCheckBox::toggled, box, update);
        top += kRowPitch;
    };

    addText(QStringLiteral("TexAusnahmen"), QStringLiteral("Ausnahmen:"), &Form1::TexAusnahmen,
            QStringLiteral("*.bak; *~"),
            QStringLiteral("Dateien, deren Name einem dieser Muster entspricht, werden weder "
                           "durchsucht noch ge\u00E4ndert."));
    addText(QStringLiteral("TexOrdnerAuslassen"), QStringLiteral("Ordner auslassen:"),
            &Form1::TexOrdnerAuslassen, QStringLiteral("node_modules; .git"),
            QStringLiteral("Verzeichnisse mit passendem Namen werden nicht betreten."));
    addText(QStringLiteral("TexGroesseAb"), QStringLiteral("Gr\u00F6\u00DFe ab:"),
            &Form1::TexGroesseAb, QStringLiteral("10K"),
            QStringLiteral("Dateil\u00E4nge in Bytes, mit K, M oder G dahinter in Schritten von "
                           "1024; die Grenze z\u00E4hlt mit."));
    addText(QStringLiteral("TexGroesseBis"), QStringLiteral("Gr\u00F6\u00DFe bis:"),
            &Form1::TexGroesseBis, QStringLiteral("2M"),
            QStringLiteral("Dateil\u00E4nge in Bytes, mit K, M oder G dahinter; die Grenze "
                           "z\u00E4hlt mit."));
    addText(QStringLiteral("TexGeaendertAb"), QStringLiteral("Ge\u00E4ndert ab:"),
            &Form1::TexGeaendertAb, QStringLiteral("2026-01-01"),
            QStringLiteral("\u00C4nderungszeit in Ortszeit, z. B. 2026-01-01 oder 30.06.2026 "
                           "18:00; der Zeitpunkt z\u00E4hlt mit."));
    addText(QStringLiteral("TexGeaendertVor"), QStringLiteral("Ge\u00E4ndert vor:"),
            &Form1::TexGeaendertVor, QStringLiteral("2026-06-30"),
            QStringLiteral("\u00C4nderungszeit in Ortszeit; Dateien genau von diesem Zeitpunkt "
                           "an bleiben au\u00DFen vor."));
    addCheck(QStringLiteral("CheckGanzesWort"), QStringLiteral("Nur ganze W\u00F6rter"),
             &Form1::CheckGanzesWort,
             QStringLiteral("Ein Fund z\u00E4hlt nur, wenn vor und nach ihm kein Buchstabe, "
                            "keine Ziffer und kein \u201E_\u201C steht."));
    addCheck(QStringLiteral("CheckBinaerAuslassen"), QStringLiteral("Bin\u00E4rdateien auslassen"),
             &Form1::CheckBinaerAuslassen,
             QStringLiteral("Die Suche l\u00E4sst Dateien mit einem NUL-Byte in den ersten 8 KiB "
                            "aus. Ersetzungen \u00E4ndern solche Dateien nie."));
    update();
    return box;
}

}  // namespace trawlex
