#pragma once
// The main window against a pyftpdlib server, for the session and view tests.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "ftp/ftp_client.h"
#include "tests/support/ftp_servers.h"
#include "ui/guard.h"
#include "ui/main_form.h"
#include "ui/remote_pane.h"
#include "ui/status_log.h"
#include "tests/ui/ui_test_app.h"

namespace sessiontest {

using ::RunUntil;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        QApplication::setQuitOnLastWindowClosed(false);
        ASSERT_TRUE(dataHome.isValid());
        setenv("XDG_DATA_HOME", dataHome.path().toUtf8().constData(), 1);
        guard::SetErrorSink([this](const QString& m) { errors << m; });
        guard::SetMessageSink([this](const QString& m) { messages << m; });
        guard::SetQuestionSink([](const QString&) { return false; });
        form = std::make_unique<TMainForm>();
        form->CreateDialogs();
        form->SetFirstActivation(false);  // no stored state, no site dialog
        form->SetTrayAvailableOverride(0);
        site = form->SiteTable().AddSite();
        form->SiteTable().SetSiteName(site, "Test site");
        form->SiteTable().Site(site).Host = "127.0.0.1";
        form->SiteTable().Site(site).Retries = 1;
    }
    void TearDown() override {
        if (form) {
            form->SetFirstActivation(false);
            if (form->IdFTP1->IsConnected()) form->IdFTP1->Disconnect();
            form.reset();
        }
        guard::SetErrorSink({});
        guard::SetMessageSink({});
        guard::SetQuestionSink({});
    }

    // Starts pyftpdlib on root and points the site at it with home directory home.
    bool StartServer(const std::string& home = "/pub/") {
        server = FtpServerProcess::start(FtpServerKind::Pyftpdlib, root.path());
        if (!server) return false;
        TFTPInfo& s = form->SiteTable().Site(site);
        s.Port = server->port();
        s.UserName = server->user();
        s.Password = server->password();
        s.HomeDir = home;
        return true;
    }

    // Connect and wait until the listing after connecting is shown.
    bool ConnectAndWait() {
        form->ToolButton2Click();
        return RunUntil([this] { return form->IdFTP1->IsConnected() && Panel(0) == "Ready"; }) &&
               !form->Timer1->isActive();
    }

    std::string Panel(int i) const { return form->PanelText(i).toStdString(); }

    int LogCount(const QString& prefix) const {
        int n = 0;
        for (int i = 0; i < form->StatusList->LineCount(); ++i)
            if (form->StatusList->LineText(i).startsWith(prefix)) ++n;
        return n;
    }

    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int i = 0; i < form->RemoteDirList->topLevelItemCount(); ++i)
            texts.push_back(form->RemoteDirList->topLevelItem(i)->text(column).toStdString());
        return texts;
    }

    // Makes the row with that caption current and selected; false when there is none.
    bool SelectRow(const std::string& caption) {
        QTreeWidget* list = form->RemoteDirList;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0).toStdString() == caption) {
                list->setCurrentItem(list->topLevelItem(i), 0,
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return true;
            }
        }
        return false;
    }

    QTemporaryDir dataHome;
    TempDir root;
    std::unique_ptr<FtpServerProcess> server;
    std::unique_ptr<TMainForm> form;
    int site = 0;
    QStringList errors, messages;
};

}  // namespace sessiontest
