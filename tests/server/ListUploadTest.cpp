#include "OnBothStores.h"

#include "wire/FrameText.h"

using Fields = QByteArrayList;
using ListUploadTest = OnBothStores;

namespace {

// The list frames a logon brings, LSETS to LSETE.
QList<Fields> ListOf(TestClient &client)
{
    QList<Fields> list;
    bool inList = false;
    for (const Fields &f : client.kept()) {
        inList = inList || f.value(0) == "LSETS";
        if (inList)
            list.append(f);
        if (f.value(0) == "LSETE")
            break;
    }
    return list;
}

void Upload(TestClient &client, const QList<QByteArrayList> &nodes)
{
    client.send("LSETS");
    for (const QByteArrayList &node : nodes) // kind, id, depth, display name
        client.send(MakeFrame({"LSETD", node[0], node[1], node[2], node[3], ""}, TrailingTab::Yes));
    client.send("LSETE");
}

} // namespace

TEST_P(ListUploadTest, UploadedArrangementComesBackAtLogonAndAfterARestart)
{
    const QByteArray mine = Sjis(u"よく話す人");
    const QByteArray sales = Sjis(u"営業部");
    {
        auto a = logOn("u01");
        Upload(*a, {{"UG", "", "0", mine}, {"U", "u05", "1", Sjis(u"伊藤さん")}, {"G", sales, "0", Sjis(u"営業")},
                    {"U", "u02", "1", Sjis(u"鈴木さん")}, {"UG", "", "1", Sjis(u"空のグループ")}});
        ASSERT_TRUE(a->sync());
    }
    // Default names and mail addresses come from the accounts.
    const QList<Fields> expected = {
        {"LSETS"},
        {"LSETD", "UG", "0", "", "", mine, mine, ""},
        {"LSETD", "U", "1", "u05", "", Sjis(u"伊藤さん"), SampleName("u05"), "yumi.ito@example.com"},
        {"LSETD", "G", "0", sales, "", Sjis(u"営業"), sales, ""},
        {"LSETD", "U", "1", "u02", "", Sjis(u"鈴木さん"), SampleName("u02"), "ichiro.suzuki@example.com"},
        {"LSETD", "UG", "1", "", "", Sjis(u"空のグループ"), Sjis(u"空のグループ"), ""},
        {"LSETE"},
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "after reconnecting" : "after a restart");
        auto a = logOn("u01");
        EXPECT_EQ(ListOf(*a), expected);
        a->disconnect();
        restartServer();
    }
    auto other = logOn("u02");
    EXPECT_EQ(ListOf(*other).size(), 15) << "another user still gets the directory";
}

TEST_P(ListUploadTest, EmptyUploadIsKeptAsAnEmptyList)
{
    {
        auto a = logOn("u01");
        Upload(*a, {});
        ASSERT_TRUE(a->sync());
    }
    auto a = logOn("u01");
    EXPECT_EQ(ListOf(*a), (QList<Fields>{{"LSETS"}, {"LSETE"}}));
}

TEST_P(ListUploadTest, UploadTheServerRefusesCostsOneRejectionAndTheStoredListStays)
{
    // More nodes behind the refused one than the rejections that cut a client off.
    QByteArrayList more;
    for (int i = 0; i < 12; ++i)
        more.append("LSETD\tU\tu03\t0\tx\t\t");
    struct Case {
        const char *what;
        QByteArrayList frames; // LSETE follows
        int rejections;
    };
    const Case cases[] = {
        {"a member two levels below its parent",
         QByteArrayList{"LSETS", "LSETD\tUG\t\t0\tg\t\t", "LSETD\tU\tu02\t2\tx\t\t"} + more, 1},
        {"an unknown kind", QByteArrayList{"LSETS", "LSETD\tX\tu02\t0\tx\t\t"} + more, 1},
        {"a depth that is not a number", QByteArrayList{"LSETS", "LSETD\tU\tu02\tone\tx\t\t"} + more, 1},
        {"a depth of 100", QByteArrayList{"LSETS", "LSETD\tU\tu02\t100\tx\t\t"} + more, 1},
        {"an id of 65 bytes", QByteArrayList{"LSETS", "LSETD\tU\t" + QByteArray(65, 'i') + "\t0\tx\t\t"} + more, 1},
        {"a byte that is no cp932 character", QByteArrayList{"LSETS", "LSETD\tU\tu02\t0\tx\xff\t\t"} + more, 1},
        {"a node without its depth", QByteArrayList{"LSETS", "LSETD\tU\tu02"} + more, 1},
        {"nodes without LSETS", {"LSETD\tU\tu02\t0\tx\t\t"}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        {
            auto a = logOn("u01");
            const qsizetype before = log().filter(QStringLiteral("rejected")).size();
            for (const QByteArray &frame : c.frames)
                a->send(frame);
            a->send("LSETE");
            ASSERT_TRUE(a->sync()) << "still served";
            EXPECT_EQ(log().filter(QStringLiteral("rejected")).size() - before, c.rejections);
        }
        auto a = logOn("u01");
        EXPECT_EQ(ListOf(*a).size(), 15) << "still the directory";
        a->disconnect();
    }
}

TEST_P(ListUploadTest, UploadAfterARefusedOneIsStored)
{
    auto a = logOn("u01");
    Upload(*a, {{"U", "u02", "100", "x"}});
    Upload(*a, {{"U", "u02", "0", "x"}});
    ASSERT_TRUE(a->sync());
    a->disconnect();
    auto again = logOn("u01");
    EXPECT_EQ(ListOf(*again).size(), 3);
}

VANTREL_ON_BOTH_STORES(ListUploadTest);
