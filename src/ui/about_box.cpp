#include "ui/about_box.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "platform/dialogs.h"

namespace kestrel {

namespace {

QLabel* NewLabel(const QString& name, const QString& text) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QString VersionLine() {
  return QStringLiteral("Version: KS%1.%2").arg(KESTREL_VERSION_MAJOR).arg(KESTREL_VERSION_MINOR);
}

}  // namespace

QIcon KestrelIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0x2e, 0x5e, 0x8c));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // A kestrel's pointed wings, seen from below.
  QPainterPath bird;
  bird.moveTo(8, 28);
  bird.quadTo(22, 22, 32, 34);
  bird.quadTo(42, 22, 56, 28);
  bird.quadTo(42, 30, 34, 46);
  bird.lineTo(32, 54);
  bird.lineTo(30, 46);
  bird.quadTo(22, 30, 8, 28);
  painter.setBrush(QColor(0xe8, 0xa1, 0x4b));
  painter.drawPath(bird);
  painter.end();
  return QIcon(pixmap);
}

const QStringList& AboutBox::SysInfoTools() {
  static const QStringList tools = {QStringLiteral("hardinfo"),
                                    QStringLiteral("gnome-system-monitor"),
                                    QStringLiteral("plasma-systemmonitor"),
                                    QStringLiteral("ksysguard"),
                                    QStringLiteral("xfce4-taskmanager"),
                                    QStringLiteral("mate-system-monitor"),
                                    QStringLiteral("lxtask")};
  return tools;
}

AboutBox::AboutBox(Dialogs& dialogs, const std::string& program_folder, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Kestrel"));

  auto* icon = new QLabel;
  icon->setObjectName(QStringLiteral("picIcon"));
  icon->setPixmap(KestrelIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* title = NewLabel(QStringLiteral("lblTitle"), QStringLiteral("Kestrel"));
  QFont title_font = title->font();
  title_font.setPointSizeF(title_font.pointSizeF() * 1.6);
  title_font.setBold(true);
  title->setFont(title_font);

  auto* text = new QVBoxLayout;
  text->addWidget(title);
  text->addWidget(NewLabel(QStringLiteral("lblVersion"), VersionLine()));
  text->addWidget(
      NewLabel(QStringLiteral("lblCopyright"),
               QStringLiteral("Copyright \u00a9 %1 the Kestrel team").arg(KESTREL_VERSION_MAJOR)));
  text->addSpacing(8);
  auto* description = NewLabel(QStringLiteral("lblDescription"),
                               QStringLiteral("Moves files whose removal date has come into a "
                                              "quarantine folder or the Trash."));
  description->setWordWrap(true);
  text->addWidget(description);
  text->addWidget(
      NewLabel(QStringLiteral("lblProgrammer"), QStringLiteral("Programmers: the Kestrel team")));
  text->addSpacing(8);
  auto* folder =
      NewLabel(QStringLiteral("lblProgramFolder"),
               QStringLiteral("Program folder: ") + QString::fromStdString(program_folder));
  folder->setWordWrap(true);
  text->addWidget(folder);
  text->addStretch();

  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  auto* sys_info = new QPushButton(QStringLiteral("&System Info..."));
  sys_info->setObjectName(QStringLiteral("cmdSysInfo"));
  sys_info->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(sys_info, &QPushButton::clicked, this, [this] { StartSysInfo(); });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(sys_info);
  buttons->addStretch();

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(icon, 0, Qt::AlignTop);
  layout->addLayout(text, 1);
  layout->addLayout(buttons);
  setMinimumWidth(440);
}

void AboutBox::StartSysInfo() {
  for (const QString& tool : SysInfoTools()) {
    const QString path = QStandardPaths::findExecutable(tool);
    if (path.isEmpty()) continue;
    if (QProcess::startDetached(path, {})) return;
    break;
  }
  dialogs_.MessageBox("System Information Is Unavailable At This Time", MsgButtons::Ok,
                      MsgIcon::None, "Kestrel");
}

}  // namespace kestrel
