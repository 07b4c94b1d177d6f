#include "FillProjectList.h"
#include "RegistryFixture.h"
#include "RegistryStore.h"
#include "RegistryTools.h"
#include "ReportListView.h"
#include "RuntimeError.h"
#include "TestSupport.h"
#include "WidgetFixture.h"

#include <QFile>
#include <QHeaderView>
#include <QTest>

#include <memory>

// The registered-project list, filled from a real registry store in a folder of
// the test's own, against real project files on disk.
class FillProjectListTest : public QObject, WidgetFixture {
    Q_OBJECT

  private:
    std::unique_ptr<ReportListView> list;

    // A project directory with the given files in it.
    QString ProjectDir(const QString& name, const QStringList& files) {
        const QString dir = folder->Path(name);
        QDir().mkpath(dir);
        for (const QString& file : files) {
            QFile out(dir + QLatin1Char('/') + file);
            out.open(QIODevice::WriteOnly);
        }
        return dir;
    }
    QStringList Registered() const {
        return RegistryTools().EnumSubKeys(RegistryStore::HKEY_LOCAL_MACHINE, kProjectsKey);
    }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            auto* item = list->topLevelItem(i);
            rows << item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') +
                        item->text(2);
        }
        return rows;
    }

  private slots:
    void init() {
        Start();
        list = std::make_unique<ReportListView>();
        list->setHeaderLabels(
            {QStringLiteral("Name"), QStringLiteral("Verzeichnis"), QStringLiteral("Typ")});
        list->resize(517, 225);
        list->show();
    }
    void cleanup() {
        list.reset();
        Stop();
    }

    void listsRegisteredProjectsWithKeyTextAndSubItems() {
        const QString plant = ProjectDir(QStringLiteral("p1"), {QStringLiteral("Plant1.qrp")});
        const QString group = ProjectDir(QStringLiteral("g"), {QStringLiteral("Werk.vbg")});
        store->Register(QStringLiteral("Plant1"), QStringLiteral("Terminal Client"), plant);
        store->Register(QStringLiteral("Werk"), QStringLiteral("Group"), group);
        FillProjectList(*list, 0xFFFF);
        QCOMPARE(Rows(), QStringList({QStringLiteral("Plant1|") + plant +
                                          QStringLiteral("|Terminal Client"),
                                      QStringLiteral("Werk|") + group + QStringLiteral("|Group")}));
        QVERIFY(list->SelectedItem() == nullptr);
        // The key is "S:" and the lower-cased name: a second fill collides with it.
        try {
            list->AddItem(QStringLiteral("S:plant1"), QStringLiteral("x"));
            QFAIL("the key S:plant1 was free");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.Number(), 35602);
        }
        QVERIFY_THROWS_EXCEPTION(RuntimeError, FillProjectList(*list, 0xFFFF));
    }

    void removesRegistrationsWhoseProjectFileIsGone() {
        const QString withQrp = ProjectDir(
            QStringLiteral("a"),
            {QStringLiteral("Gruppe.qrp"), QStringLiteral("Da.qrp"), QStringLiteral("Fremd.qrp")});
        store->Register(QStringLiteral("Gruppe"), QStringLiteral("Group"),
                        withQrp);  // needs Gruppe.vbg
        store->Register(QStringLiteral("Weg"), QStringLiteral("Single"),
                        withQrp);  // Weg.qrp is missing
        store->Register(QStringLiteral("Da"), QStringLiteral("Server"), withQrp);
        store->Register(QStringLiteral("Fremd"), QStringLiteral("Unbekannt"),
                        withQrp);  // type 0, file there
        store->Register(QStringLiteral("FremdWeg"), QStringLiteral("Unbekannt"),
                        withQrp);  // type 0, file missing
        store->Register(QStringLiteral("OhnePfad"), QStringLiteral("Single"), std::nullopt);
        FillProjectList(*list, 0xFFFF);
        QCOMPARE(Rows(),
                 QStringList({QStringLiteral("Da|") + withQrp + QStringLiteral("|Server")}));
        QCOMPARE(Registered(), QStringList({QStringLiteral("Da"), QStringLiteral("Fremd")}));
    }

    void checksEveryRegistrationWhateverTheMask() {
        const QString dir = ProjectDir(QStringLiteral("m"), {QStringLiteral("Client1.qrp")});
        store->Register(QStringLiteral("Client1"), QStringLiteral("Client"), dir);
        store->Register(QStringLiteral("ServerWeg"), QStringLiteral("Server"), dir);
        FillProjectList(*list, 1);  // only "Single"
        QVERIFY(Rows().isEmpty());
        QCOMPARE(Registered(),
                 QStringList({QStringLiteral("Client1")}));  // kept: not selected, file there
    }

    void numericTypeTextFailsAndKeepsWhatWasDone() {
        const QString dir = ProjectDir(QStringLiteral("n"), {QStringLiteral("Erst.qrp")});
        store->Register(QStringLiteral("Erst"), QStringLiteral("Single"), dir);
        store->Register(QStringLiteral("Weg"), QStringLiteral("Single"), dir);
        store->Register(QStringLiteral("Zahl"), QStringLiteral("32"), dir);
        store->Register(QStringLiteral("Danach"), QStringLiteral("Single"), dir);
        try {
            FillProjectList(*list, 0xFFFF);
            QFAIL("a numeric project type was accepted");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.Number(), 13);
        }
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(!Registered().contains(QStringLiteral("Weg")));
        QVERIFY(Registered().contains(QStringLiteral("Danach")));
    }

    void emptyStoreGivesNoRowsAndStillSizesTheColumns() {
        FillProjectList(*list, 0xFFFF);
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) >=
                list->viewport()->width());
    }

    void columnsFitTheirContentsAndTheLastFillsTheRest() {
        const QString dir =
            ProjectDir(QStringLiteral("ein-recht-langes-verzeichnis-fuer-die-spalte"),
                       {QStringLiteral("A.qrp")});
        store->Register(QStringLiteral("A"), QStringLiteral("Single"), dir);
        list->setColumnWidth(0, 300);
        FillProjectList(*list, 0xFFFF);
        const QFontMetrics metrics(list->font());
        // Name and directory fit their widest entry, not their header or the old width.
        QVERIFY(list->columnWidth(0) < 60);
        QVERIFY(list->columnWidth(0) >= metrics.horizontalAdvance(QStringLiteral("A")));
        QVERIFY(list->columnWidth(1) >= metrics.horizontalAdvance(dir));
        QVERIFY(list->columnWidth(1) < metrics.horizontalAdvance(dir) + 40);
        // The type column shows its header and fills the rest of the width.
        QVERIFY(list->columnWidth(2) >= list->header()->sectionSizeHint(2));
        QVERIFY(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) >=
                list->viewport()->width());
    }

    void damagedStoreFailsWithItsFileName() {
        store->Write("[Software\\KALMIRO GmbH\\Quorvin\\4.0\\Projects\\X]\nPath=\xFF\n");
        try {
            FillProjectList(*list, 0xFFFF);
            QFAIL("a damaged store was read");
        } catch (const RuntimeError& error) {
            QVERIFY(error.Description().contains(store->File()));
        }
    }
};

QTEST_MAIN(FillProjectListTest)
#include "FillProjectListTest.moc"
