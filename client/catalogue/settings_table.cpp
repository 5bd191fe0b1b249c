#include "settings_table.h"

namespace zentra::catalogue {
namespace {

// Plain settings without a default still get a row in a new database, because WriteConst only
// updates rows; their descriptions are ours.
constexpr SettingInfo kSettings[] = {
    {0, false, "", "Дата установленного обновления каталога"},
    {1, false, "", "Клиент: наименование организации"},
    {2, false, "", "Клиент: телефон"},
    {3, false, "", "Клиент: адрес"},
    {4, false, "", "Клиент: e-mail"},
    {5, false, "", "Клиент: контактное лицо"},
    {6, false, "0", "Клиент: скидка, %"},
    {7, false, "1.0", "Версия структуры базы данных"},
    {8, false, "да", "Проверять соединение с Internet"},
    {9, false, "", "Дата установки последнего обновления"},
    {11, true, "Каталог товаров", "Наименование каталога товаров"},
    {12, true, "ZentraLogo.png", "Лого заставка программы"},
    {13, true, "2", "Показывать панель c изображениями товаров"},
    {14, true, "да", "Показывать панель с описанием товаров"},
    {15, true, "да", "Показывать панель с атрибутами товаров"},
    {16, true, "Наименование Вашей организации", "Наименование Вашей организации"},
    {17, true, "Адрес Вашей организации", "Адрес Вашей организации"},
    {18, true, "Контактные телефоны", "Контактные телефоны Вашей организации"},
    {19, true, nullptr, "Факс Вашей организации"},
    {20, true, "zakaz@example.ru", "E-mail Вашей организации"},
    {21, true, "www.example.ru", "Web-сайт Вашей организации"},
    {22, true, nullptr, "Схема проезда"},
    {23, true, "UPD_NO", "Разрешить обновление через Internet"},
    {24, true, nullptr, "Адрес пакета обновления на HTTP-сервере"},
    {25, false, "0", "Получатель заказа"},
    {26, true, nullptr, "FTP-сервер обновлений"},
    {27, true, nullptr, "Пользователь FTP-сервера"},
    {28, true, nullptr, "Пароль FTP-сервера"},
    {29, true, nullptr, "Файл пакета обновления на FTP-сервере"},
    {30, true, "да", "Подсвечивать новые товары"},
    {31, true, "30", "Кол-дней, в течении которых товар считается новым"},
    {33, true, "0", "Основная валюта"},
    {36, true, "нет", "Показывать аналогичные товары в клиентской части программы"},
    {-9992, true, "нет", "Активировать выгрузку"},
    {-9991, true, "c:\\price.txt", "Путь для сохранения файла обмена"},
};

}  // namespace

std::span<const SettingInfo> settingsTable() { return kSettings; }

const SettingInfo* findSetting(int id) {
    for (const auto& s : settingsTable()) {
        if (s.id == id) return &s;
    }
    return nullptr;
}

}  // namespace zentra::catalogue
