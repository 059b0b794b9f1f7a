// The first start of a new installation: the offer to fill the bar from the application menu.
#include "app/Icons.h"
#include "progman/Progman.h"

void TForm1::LoadProgman() {
    const int perPage = buttonsPerPage_;
    TNewIniFile ini = Ini();
    try {
        // The buttons per page are kept whatever the answer: the next start is no longer a new
        // installation and would otherwise come back with 16. Written together with the import,
        // so that the whole first start is one rewrite of the file.
        const bool yes = platform_.dialogs->Question(
            QStringLiteral("New Orvane Installation:  Yes = Auto Configure.  No = Custom Configure."),
            19);
        ProgmanImport result;
        {
            Hourglass busy(*this);
            SettingsTransaction transaction(ini);
            ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("ButtonCount"), perPage);
            // The bar saves its place only when the user moves it; until then every start
            // would be a new installation again, asking again and importing over the user's
            // own buttons. The place it is about to take marks the installation as made.
            ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("Top"), Settings().top);
            if (yes && platform_.appMenu)
                result = ImportFromAppMenu(*platform_.appMenu, ini, perPage);
            transaction.Commit();
        }
        if (yes && !result.reached)
            platform_.dialogs->Message(QStringLiteral("Can not access the application menu"));
    } catch (const SettingsWriteError &error) {
        // Start-up goes on with what the file holds; the user is told once.
        platform_.dialogs->Error(QString::fromUtf8(error.what()));
    }
}
