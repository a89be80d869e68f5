// The installer's and uninstaller's English/Russian text table.
#include "common/install_text.h"

#include <atomic>
#include <cstring>

const char kLicenseAgreementText[] =
    "Satclock 1.2.1 License Agreement\n"
    "\n"
    "Satclock is free software, copyright (c) Quillmarsh. You may install and use it on any "
    "number of computers, copy it and give it to others free of charge, provided that the "
    "package is passed on whole and unchanged, with this agreement.\n"
    "\n"
    "Satclock sets the computer's clock from the time that a GPS receiver reports. The "
    "correctness of that time depends on the receiver, its antenna, its connection and its "
    "view of the sky, which are beyond the control of the authors.\n"
    "\n"
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, "
    "INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR "
    "PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS BE LIABLE FOR ANY CLAIM, "
    "DAMAGES OR OTHER LIABILITY, INCLUDING A WRONG SYSTEM TIME AND ITS CONSEQUENCES, ARISING "
    "FROM THE USE OF THE SOFTWARE.\n"
    "\n"
    "By installing Satclock you accept the terms of this agreement.";

namespace {

const char kLicenseAgreementRussian[] =
    "Лицензионное соглашение Satclock 1.2.1\n"
    "\n"
    "Satclock - свободно распространяемая программа, авторские права (c) Quillmarsh. Вы можете "
    "устанавливать и использовать её на любом числе компьютеров, копировать её и бесплатно "
    "передавать другим при условии, что пакет передаётся целиком и без изменений, вместе с "
    "этим соглашением.\n"
    "\n"
    "Satclock устанавливает часы компьютера по времени, которое сообщает GPS-приёмник. "
    "Точность этого времени зависит от приёмника, его антенны, его подключения и видимости "
    "неба, на которые авторы повлиять не могут.\n"
    "\n"
    "ПРОГРАММА ПРЕДОСТАВЛЯЕТСЯ \"КАК ЕСТЬ\", БЕЗ КАКИХ-ЛИБО ГАРАНТИЙ, ЯВНЫХ ИЛИ ПОДРАЗУМЕВАЕМЫХ, "
    "ВКЛЮЧАЯ ГАРАНТИИ ТОВАРНОЙ ПРИГОДНОСТИ, СООТВЕТСТВИЯ ОПРЕДЕЛЁННОЙ ЦЕЛИ И НЕНАРУШЕНИЯ ПРАВ. "
    "АВТОРЫ НИ В КОЕМ СЛУЧАЕ НЕ ОТВЕЧАЮТ ПО ИСКАМ, ЗА УЩЕРБ ИЛИ ИНЫЕ ПОСЛЕДСТВИЯ, ВКЛЮЧАЯ "
    "НЕВЕРНОЕ СИСТЕМНОЕ ВРЕМЯ И ЕГО ПОСЛЕДСТВИЯ, ВОЗНИКШИЕ ИЗ-ЗА ИСПОЛЬЗОВАНИЯ ПРОГРАММЫ.\n"
    "\n"
    "Устанавливая Satclock, вы принимаете условия этого соглашения.";

// Keys are the English texts exactly as the programs pass them, "\n\r" and
// misspellings included: a key that differs by one byte is not found.
const TextPair kRussianTable[] = {
    // Setup wizard
    {kLicenseAgreementText, kLicenseAgreementRussian},
    {"Welcome", "Добро пожаловать"},
    {"Warning", "Предупреждение"},
    {"<&Back", "<&Назад"},
    {"&Next>", "Да&лее>"},
    {"C&ancel", "Отмена"},
    {"I &Agree", "Согласен"},
    {"&Install", "&Установить"},
    {"Finish", "Завершить"},
    {"Setup is not complete.\n\rYou really want to exit Setup?",
     "Установка не завершена.\n\rВы действительно хотите выйти из программы установки?"},
    {"Setup has detected that Satclock is currently running.\n\rPlease close all instances of it "
     "now, then click OK to continue, or Cancel to exit.",
     "Обнаружена запущенная программа Satclock,\n\rзакройте Satclock и нажмите OK"},
    {"Satclock Setup", "Установка Satclock"},
    {"License Agreement", "Лицензионное соглашение"},
    {"Select Destination Directory", "Выбор папки установки"},
    {"Installing", "Установка"},
    {"Install complete", "Установка завершена"},
    {"Install not complete", "Установка не завершена"},
    {"Install interrupted", "Установка прервана"},
    {"Language", "Язык"},
    {"Welcome to the setup wizard\n for Satclock", "Добро пожаловать в мастер\n установки Satclock"},
    {"This wizard will guide you through the installation of Satclock.",
     "Этот мастер проведёт вас через установку программы Satclock."},
    {"Click Next to continue, or Cancel to exit Setup.",
     "Нажмите \"Далее\", чтобы продолжить, или \"Отмена\", чтобы выйти из программы установки."},
    {"Please read the following License Agreement. Use the scroll bar to view the rest of this "
     "agreement.",
     "Прочтите лицензионное соглашение. Чтобы увидеть его остальную часть, воспользуйтесь полосой "
     "прокрутки."},
    {"If you accept the terms of the agreement, click I Agree to continue. You must accept the "
     "agreement to install Satclock.",
     "Если вы принимаете условия соглашения, нажмите \"Согласен\", чтобы продолжить. Для установки "
     "Satclock необходимо принять соглашение."},
    {"Setup will install Satclock in the following folder:",
     "Программа установки установит Satclock в следующую папку:"},
    {"To install in a different folder, click Browse and select another folder.\n\rTo restore an "
     "initial folder, click By default.\n\rClick Next to continue.",
     "Чтобы установить программу в другую папку, нажмите \"Обзор...\" и выберите папку.\n\rЧтобы "
     "вернуть исходную папку, нажмите \"По умолчанию\".\n\rНажмите \"Далее\", чтобы продолжить."},
    {"By default", "По умолчанию"},
    {"Browse...", "Обзор..."},
    {"Free space on a disk ", "Свободное место на диске "},
    {"Requirements to install program:", "Требуется для установки программы:"},
    {"Kb", "Кб"},
    {"Mb", "Мб"},
    {"Gb", "Гб"},
    {"Select directory for installing", "Выберите папку для установки"},
    {"Create the Start Menu folder", "Создать папку в главном меню"},
    {"Create a desktop icon", "Создать значок на рабочем столе"},
    {"Let %s set the clock", "Разрешить %s устанавливать часы"},
    // Installation procedure
    {"Currently installing Satclock", "Идёт установка Satclock"},
    {"Copying new files...", "Копирование новых файлов..."},
    {"Unpacking files...", "Распаковка файлов..."},
    {"Removing temporality files...", "Удаление временных файлов..."},
    {"Creating shortcuts...", "Создание ярлыков..."},
    {"Satclock is time synchronizer by means GPS", "Satclock - синхронизация часов по GPS"},
    {"Satclock %s Help", "Помощь для Satclock %s"},
    {"Satclock %s Home page", "Домашняя страница Satclock %s"},
    {"Save the setting of the previous Satclock installing",
     "Сохранить настройки предыдущей установки Satclock"},
    {"Run the application at startup", "Запускать программу при входе в систему"},
    {"Launch Satclock Now", "Запустить Satclock сейчас"},
    {"Install complete.", "Копирование файлов\r\nзавершено."},
    {"Satclock was successfully installed.", "Программа Satclock успешно установлена."},
    {"Click Finish to complete Setup.", "Нажмите \"Завершить\", чтобы закончить установку."},
    {"Install interrupt.", "Установка прервана."},
    {"The wizard was interrupted before Satclock could be completely installed.",
     "Работа мастера была прервана до завершения установки Satclock."},
    {"To install Satclock at a later time, please run the installation again.",
     "Чтобы установить Satclock позже, запустите установку ещё раз."},
    {"Install is not complete.", "Установка программы\r\nне была завершена."},
    {"Satclock was not completely installed.",
     "Программа Satclock установлена не полностью. Произошла внутренняя ошибка."},
    {"Click Finish to exit Setup.", "Нажмите \"Завершить\", чтобы выйти из программы установки."},
    // Why an installation failed, for the unattended mode's standard error
    {"The installation was interrupted.", "Установка была прервана."},
    {"Setup could not start the installation.", "Программе установки не удалось начать установку."},
    {"The install folder or the data folder cannot be created.",
     "Не удаётся создать папку установки или папку данных."},
    {"A part of the package is missing from Setup.", "В программе установки недостаёт части пакета."},
    {"A file cannot be created while writing the package.",
     "Не удаётся создать файл при записи пакета."},
    {"Writing the package failed.", "Не удалось записать пакет."},
    {"The package was written short.", "Пакет записан не полностью."},
    {"A temporary file cannot be deleted.", "Не удаётся удалить временный файл."},
    {"The package could not be unpacked.", "Не удалось распаковать пакет."},
    {"The common desktop folder cannot be found.", "Не удаётся найти общую папку рабочего стола."},
    {"The common programs menu folder cannot be found.", "Не удаётся найти общую папку меню программ."},
    {"The Start Menu folder cannot be created.", "Не удаётся создать папку в главном меню."},
    {"The destination folder is refused.", "Папка установки отклонена."},
    {"The time service could not be installed.", "Не удалось установить службу времени."},
    {"An entry in your own folders was refused.", "Запись в ваших собственных папках отклонена."},
    {"Setup needs administrator rights: start it again and give the administrator's password when asked.",
     "Для установки нужны права администратора: запустите программу установки снова и введите пароль "
     "администратора, когда он будет запрошен."},
    // The destination and an earlier installation, before Install
    {"the destination must be an absolute path.", "папка установки должна быть задана полным путём."},
    {"The destination holds a control character (such as a line end).",
     "В пути к папке установки есть управляющий символ (например, перевод строки)."},
    {"Choose a folder that only the administrator may change.",
     "Выберите папку, которую может изменять только администратор."},
    {"Satclock is already installed in %s: this installation updates it.",
     "Satclock уже установлен в %s: эта установка обновит его."},
    {"An earlier installation of Satclock in %s was found. This installation takes over its time service, its "
     "menu entries, its desktop icon, its uninstall entry and the satclock command; its files stay in %s. Do not "
     "run its uninstaller afterwards: it would remove what this installation takes over.",
     "Найдена прежняя установка Satclock в %s. Эта установка берёт на себя её службу времени, пункты меню, значок "
     "на рабочем столе, запись для удаления и команду satclock; её файлы остаются в %s. Не запускайте после этого "
     "её программу удаления: она удалила бы то, что перешло к этой установке."},
    // Uninstaller
    {"Uninstall Satclock", "Удаление Satclock"},
    {"Now Satclock %s will be removed from your computer.",
     "Сейчас программа Satclock %s будет удалена с вашего компьютера."},
    {"Click Next if you wish to completely remove Satclock.\n\n\rClick Cancel if you want to quit "
     "Uninstall.",
     "Если Вы действительно хотите деинсталлировать приложение, нажмите кнопку \"Далее\".\n\n\rДля "
     "выхода из этой программы нажмите кнопку \"Отмена\"."},
    {"There is a running copy of Satclock.\n\rPlease close all instances of it now, then click OK "
     "to continue, or Cancel to exit.",
     "Обнаружена запущенная программа Satclock,\n\rзакройте запущенную программу и нажмите OK"},
    {"Can not open file %s", "Не найден файл %s\n\rс информацией для удаления."},
    {"The program is removed completely!", "Программа полностью удалена!"},
    {"The program is not removed completely!", "Программа удалена не полностью!"},
    {"Nothing was removed: %s.", "Ничего не удалено: %s."},
};

std::atomic<bool> russian_selected{false};

}  // namespace

std::span<const TextPair> russian_text_table() { return kRussianTable; }

void select_text_catalogue(bool russian) { russian_selected.store(russian); }

bool text_catalogue_is_russian() { return russian_selected.load(); }

size_t text_catalogue_entries() { return russian_selected.load() ? 2 * std::size(kRussianTable) : 0; }

const char* translate_text(const char* english)
{
    if (!english || !russian_selected.load())
        return english;
    for (const TextPair& pair : kRussianTable)
        if (std::strcmp(pair.english, english) == 0)
            return pair.russian;
    return english;
}

std::string shown_text(const char* text)
{
    std::string shown;
    for (const char* c = text; c && *c; ++c)
        if (*c != '\r')
            shown += *c;
    return shown;
}

std::string mnemonic_text(const char* text)
{
    std::string shown;
    for (const char* c = text; c && *c; ++c) {
        if (*c == '&')
            shown += '_';
        else if (*c == '_')
            shown += "__";
        else
            shown += *c;
    }
    return shown;
}
