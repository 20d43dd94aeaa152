// SPDX-License-Identifier: GPL-3.0-or-later
#include "CRulesDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <fstream>

#include "CRuleFile.h"
#include "RuleFileText.h"
#include "Ui.h"

CRulesDlg::CRulesDlg(std::string patternFile, std::string allowFile, std::vector<std::string> texts,
                     std::unordered_map<std::string, long long> hits, long long now,
                     const std::vector<std::string> &accounts, QWidget *parent)
    : QDialog(parent), m_patternFile(std::move(patternFile)), m_allowFile(std::move(allowFile)),
      m_texts(std::move(texts)), m_hits(std::move(hits)), m_now(now) {
    setWindowTitle(Ui("app", "Regeln"));
    auto *tabs = new QTabWidget(this);
    m_patterns = MakeTable(m_patternFile, false);
    m_allow = MakeTable(m_allowFile, true);
    tabs->addTab(m_patterns, Ui("app", "Muster (löschen)"));
    tabs->addTab(m_allow, Ui("app", "Ausnahmen (nie löschen)"));
    auto *add = new QPushButton(Ui("app", "Zeile hinzufügen"), this);
    auto *remove = new QPushButton(Ui("app", "Zeile entfernen"), this);
    connect(add, &QPushButton::clicked, this, [this, tabs] {
        QTableWidget *table = tabs->currentIndex() == 1 ? m_allow : m_patterns;
        AddLine(table, QString(), table == m_allow);
        table->editItem(table->item(table->rowCount() - 1, 0));
    });
    connect(remove, &QPushButton::clicked, this, [this, tabs] {
        QTableWidget *table = tabs->currentIndex() == 1 ? m_allow : m_patterns;
        if (table->currentRow() >= 0) table->removeRow(table->currentRow());
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(Ui("app", "Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CRulesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRulesDlg::reject);
    auto *lines = new QHBoxLayout;
    lines->addWidget(add);
    lines->addWidget(remove);
    lines->addStretch(1);
    auto *all = new QVBoxLayout(this);
    QStringList names;
    for (const std::string &name : accounts) names << QString::fromStdString(name);
    m_where = Ui("app", "Musterdatei: %1\nAusnahmen: %2\n%3: %4")
                  .arg(QString::fromLocal8Bit(m_patternFile.c_str()), QString::fromLocal8Bit(m_allowFile.c_str()),
                       names.size() == 1 ? Ui("app", "Konto") : Ui("app", "Konten"), names.join(QStringLiteral(", ")));
    auto *where = new QLabel(m_where, this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    all->addWidget(where);
    all->addWidget(new QLabel(Ui("app",
                                 "\"Treffer\": so viele Zeilen der Liste trifft die Regel. Grau: "
                                 "seit 30 Tagen ohne Treffer."),
                              this));
    all->addWidget(tabs, 1);
    all->addLayout(lines);
    all->addWidget(buttons);
    resize(640, 420);
}

QTableWidget *CRulesDlg::MakeTable(const std::string &path, bool allowList) {
    auto *table = new QTableWidget(0, 2, this);
    table->setHorizontalHeaderLabels({Ui("app", "Zeile"), Ui("app", "Treffer")});
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->verticalHeader()->hide();
    // Read as the scan reads it: a FIFO or a device is not opened for a
    // read that never ends. A NUL byte shows as U+FFFD (no wildcard).
    for (const std::string &line : RuleFileText::Load(path).lines)
        AddLine(table, QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).replace(QChar(0), QChar(0xFFFD)),
                allowList);
    connect(table, &QTableWidget::itemChanged, this, [this, table, allowList](QTableWidgetItem *item) {
        if (item->column() == 0) Recount(table, item->row(), allowList);
    });
    return table;
}

void CRulesDlg::AddLine(QTableWidget *table, const QString &line, bool allowList) {
    const QSignalBlocker quiet(table);
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(line));
    auto *count = new QTableWidgetItem;
    count->setFlags(count->flags() & ~Qt::ItemIsEditable);
    count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, 1, count);
    Recount(table, row, allowList);
}

void CRulesDlg::Recount(QTableWidget *table, int row, bool allowList) {
    const QSignalBlocker quiet(table);
    QTableWidgetItem *text = table->item(row, 0);
    QTableWidgetItem *count = table->item(row, 1);
    if (text == nullptr || count == nullptr) return;
    const std::string line = text->text().toUtf8().toStdString();
    // Empty lines and lines beginning with a blank are no rules.
    const bool rule = !line.empty() && line[0] != ' ';
    count->setText(rule ? QString::number(CRuleFile::CountMatches(line, allowList, m_texts)) : QStringLiteral("–"));
    // A line the checks have not seen yet is new, not unused.
    const auto hit = m_hits.find(line);
    const bool unused = rule && hit != m_hits.end() && m_now - hit->second > kUnusedAfterSeconds;
    for (QTableWidgetItem *item : {text, count}) {
        item->setForeground(unused ? QBrush(Qt::gray) : QBrush());
        item->setToolTip(unused ? Ui("app", "Hat seit 30 Tagen keine E-Mail getroffen") : QString());
    }
}

std::vector<std::string> CRulesDlg::Lines(QTableWidget *table) const {
    std::vector<std::string> lines;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        const std::string line = item == nullptr ? std::string() : item->text().toUtf8().toStdString();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

void CRulesDlg::accept() {
    const std::vector<std::string> patterns = Lines(m_patterns), allowed = Lines(m_allow);
    // A pattern that matches every message would delete the whole mailbox.
    for (const std::string &line : patterns) {
        if (line[0] != ' ' && CRuleFile::MatchesEverything(line)) {
            m_refusal = Ui("app", "Die Zeile \"%1\" träfe jede E-Mail; bitte ändern oder entfernen.")
                            .arg(QString::fromUtf8(line.c_str()));
            QMessageBox::warning(this, QStringLiteral("Pelloru"), m_refusal);
            return;
        }
    }
    std::string problem;
    if (!CRuleFile::Replace(m_patternFile, patterns, &problem) ||
        !CRuleFile::Replace(m_allowFile, allowed, &problem)) {
        m_refusal = QString::fromUtf8(problem.c_str());
        QMessageBox::warning(this, QStringLiteral("Pelloru"), m_refusal);
        return;
    }
    QDialog::accept();
}
