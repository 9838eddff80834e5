#include "gui/dialogs/about_dialog.h"

#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/text_utils.h"
#include "gui/widgets/clickable_label.h"
#include "gui/widgets/named.h"

#include "gui/widgets/program_logo.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace dirka {

namespace {

constexpr int LogoSize = 90;
constexpr int MakerLogoSize = 40;

// The maker's mark: a white "P" on a blue rounded square, drawn so it is sharp at any scale.
QPixmap makerLogo(qreal ratio, const QFont& font)
{
    QPixmap mark(QSize(MakerLogoSize, MakerLogoSize) * ratio);
    mark.setDevicePixelRatio(ratio);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x6f, 0xb3));
    const QRectF box(1, 1, MakerLogoSize - 2, MakerLogoSize - 2);
    painter.drawRoundedRect(box, 8, 8);
    QFont letter = font;
    letter.setBold(true);
    letter.setPixelSize(MakerLogoSize * 2 / 3);
    painter.setFont(letter);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, QStringLiteral("P"));
    return mark;
}

} // namespace

TAboutDialog::TAboutDialog(std::function<void(const QString&)> openDocument, QWidget* parent)
    : QDialog(parent), m_openDocument(std::move(openDocument))
{
    setObjectName(QStringLiteral("dlgAbout"));
    setWindowTitle(QStringLiteral("About Dirka"));
    const qreal ratio = qApp->devicePixelRatio();

    auto* imageLogo90 = named(new TClickableLabel(QString(), this), "imageLogo90");
    imageLogo90->setFixedSize(LogoSize, LogoSize);
    imageLogo90->setAlignment(Qt::AlignCenter);
    imageLogo90->setPixmap(ProgramLogo(LogoSize, ratio));
    auto* labelProgramName =
        named(new TClickableLabel(QStringLiteral("Dirka"), this), "labelProgramName");
    QFont nameFont = labelProgramName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2.2);
    labelProgramName->setFont(nameFont);
    auto* labelSlogan =
        named(new TClickableLabel(QStringLiteral("Create file list"), this), "labelSlogan");
    auto* imageMaker = named(new TClickableLabel(QString(), this), "imageMaker");
    imageMaker->setPixmap(makerLogo(ratio, font()));
    auto* labelVersion =
        named(new QLabel(u"Version: 2.1 (" + Info().VersionInfo.FileVersion + u')', this),
              "labelVersion");
    auto* labelNote = named(new QLabel(this), "labelNote");
    labelNote->setVisible(false);
    auto* labelCopyright =
        named(new QLabel(QStringLiteral("Free software, \u00A9 2024 "), this), "labelCopyright");
    auto* labelWebCompany = LinkLabel(QStringLiteral("Pelmora"), this, "labelWebCompany");
    auto* labelLicense = LinkLabel(QStringLiteral("License"), this, "labelLicense");
    auto* labelFAQ = LinkLabel(QStringLiteral("FAQ"), this, "labelFAQ");
    auto* okBtn = named(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
    okBtn->setDefault(true);
    connect(okBtn, &QPushButton::clicked, this, &QDialog::accept);

    const QString website = ProductPageAddress(TWebAction::Website);
    const QString programHint = QStringLiteral("Open Dirka web page");
    for (TClickableLabel* label : {imageLogo90, labelProgramName, labelSlogan})
        makeClickable(label, programHint, [this, website] { m_openDocument(website); });
    const QString maker = MakerPageAddress();
    const QString makerHint = u"Open web page " + maker;
    for (TClickableLabel* label : {labelWebCompany, imageMaker})
        makeClickable(label, makerHint, [this, maker] { m_openDocument(maker); });
    makeClickable(labelLicense, QStringLiteral("Show License"),
                  [this] { OpenHelpPage(QStringLiteral("_License.html")); });
    makeClickable(labelFAQ, QStringLiteral("Show FAQ"),
                  [this] { OpenHelpPage(QStringLiteral("_FAQ.html")); });

    // The maker's name starts where the notice ends.
    auto* copyrightRow = new QHBoxLayout;
    copyrightRow->setSpacing(0);
    copyrightRow->addWidget(labelCopyright);
    copyrightRow->addWidget(labelWebCompany);
    copyrightRow->addStretch(1);
    auto* linksRow = new QHBoxLayout;
    linksRow->addWidget(labelLicense);
    linksRow->addSpacing(fontMetrics().averageCharWidth() * 3);
    linksRow->addWidget(labelFAQ);
    linksRow->addStretch(1);
    auto* text = new QVBoxLayout;
    text->setSpacing(fontMetrics().lineSpacing() / 3);
    text->addWidget(labelProgramName);
    text->addWidget(labelSlogan);
    text->addSpacing(fontMetrics().lineSpacing() / 2);
    text->addWidget(labelVersion);
    text->addWidget(labelNote);
    text->addLayout(copyrightRow);
    text->addSpacing(fontMetrics().lineSpacing() / 2);
    text->addLayout(linksRow);
    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    okRow->addWidget(okBtn);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(fontMetrics().averageCharWidth() * 3);
    layout->addWidget(imageLogo90, 0, 0, Qt::AlignTop);
    layout->addLayout(text, 0, 1);
    layout->addWidget(imageMaker, 0, 2, Qt::AlignTop | Qt::AlignRight);
    layout->addLayout(okRow, 1, 0, 1, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutDialog::OpenHelpPage(const QString& suffix)
{
    const TInfo& info = Info();
    const QString path =
        info.ProgramFolder + u"help" + QChar(PathDelimiter) + info.LanguageCode + suffix;
    if (m_openDocument && QFileInfo(path).isFile())
        m_openDocument(path);
}

void TAboutDialog::makeClickable(TClickableLabel* label, const QString& hint,
                                 std::function<void()> action)
{
    label->setToolTip(hint);
    connect(label, &TClickableLabel::Clicked, this, [this, action = std::move(action)] {
        if (m_openDocument)
            action();
    });
}

} // namespace dirka
