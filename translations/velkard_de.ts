<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="ru_RU">
<context>
    <name>Application</name>
    <message>
        <source>Недостаточно памяти для этого действия.</source>
        <translation>Für diese Aktion reicht der Speicher nicht aus.</translation>
    </message>
</context>
<context>
    <name>velkard::app::MainWindow</name>
    <message>
        <source>мониторинг</source>
        <translation>Monitoring</translation>
    </message>
    <message>
        <source>Прибор: </source>
        <translation>Gerät: </translation>
    </message>
    <message>
        <source>Ошибка создания файла для записи ЭКГ</source>
        <translation>Die Datei für die EKG-Aufzeichnung kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Сохранить данные?</source>
        <translation>Aufzeichnung speichern?</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с данными об ЭКГ</source>
        <translation>Die EKG-Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>ЭКГ не внесена в архив пациента и сохранена в файле </source>
        <translation>Das EKG wurde nicht in die Patientenakte aufgenommen; es ist gespeichert in der Datei </translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Настройка</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Kartei</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Импорт из файла</source>
        <translation>Aus Datei importieren</translation>
    </message>
    <message>
        <source>Настройка принтера</source>
        <translation>Druckereinrichtung</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Параметры</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Старт</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Вперед</source>
        <translation>Vor</translation>
    </message>
    <message>
        <source>Назад</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Масштаб</source>
        <translation>Maßstab</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Ableitungen</translation>
    </message>
    <message>
        <source>Скорость</source>
        <translation>Geschwindigkeit</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <translation>EKG-Dauer, s</translation>
    </message>
    <message>
        <source>Идёт запись. Сохранить?</source>
        <translation>Eine Aufzeichnung läuft. Speichern?</translation>
    </message>
    <message>
        <source>Прибор не отвечает: приём остановлен</source>
        <translation>Das Gerät antwortet nicht: Empfang beendet</translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Gespeichert: %1, Nr. %2, %3 s</translation>
    </message>
    <message>
        <source>%1 · возраст %2 · пол %3 · ID %4</source>
        <translation>%1 · Alter %2 · Geschlecht %3 · ID %4</translation>
    </message>
    <message>
        <source>Ctrl+O — картотека
Ctrl+I — импорт из файла
Ctrl+P — печать
PageDown, → — следующая страница
PageUp, ← — предыдущая страница
Циркуль: при просмотре тяните по кривой левой кнопкой мыши — интервал (мс), ЧСС и амплитуда (мВ)
F1 — эта справка</source>
        <translation>Strg+O — Kartei
Strg+I — Import aus Datei
Strg+P — Drucken
Bild↓, → — nächste Seite
Bild↑, ← — vorige Seite
Messzirkel: in der Ansicht mit der linken Maustaste über die Kurve ziehen — Intervall (ms), Herzfrequenz und Amplitude (mV)
F1 — diese Hilfe</translation>
    </message>
    <message>
        <source>Клавиши и мышь</source>
        <translation>Tasten und Maus</translation>
    </message>
    <message>
        <source>Velkard %1
Программа электрокардиографа: запись, просмотр, измерение и печать ЭКГ.
Свободная программа под лицензией GNU GPL версии 3 или более поздней; без каких-либо гарантий.</source>
        <translation>Velkard %1
Das Programm des Elektrokardiographen: EKG aufzeichnen, ansehen, vermessen und drucken.
Freie Software unter der GNU GPL, Version 3 oder später; ohne jede Gewährleistung.</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>Über Velkard</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Следующая страница (PageDown, →)</source>
        <translation>Nächste Seite (Bild↓, →)</translation>
    </message>
    <message>
        <source>Предыдущая страница (PageUp, ←)</source>
        <translation>Vorige Seite (Bild↑, ←)</translation>
    </message>
    <message>
        <source>Все ЭКГ</source>
        <translation>Alle EKGs</translation>
    </message>
    <message>
        <source>Файлы прибора</source>
        <translation>Gerätedateien</translation>
    </message>
    <message>
        <source>Коэффициенты усиления в заголовке файла противоречат его отсчётам (I + III = II выполняется только для записанных значений): все отведения прочитаны по 1000 единиц на 1 мВ</source>
        <translation>Die Verstärkungen im Dateikopf widersprechen den Abtastwerten (I + III = II gilt nur für die gespeicherten Werte): alle Ableitungen mit 1000 Einheiten je mV gelesen</translation>
    </message>
    <message>
        <source>Значения вне диапазона прибора ограничены: </source>
        <translation>Werte außerhalb des Gerätebereichs begrenzt: </translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Neuer Patient</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>In die Patientenkarte ablegen</translation>
    </message>
    <message>
        <source>ЭКГ помещена в карту пациента, № </source>
        <translation>EKG in die Patientenkarte abgelegt, Nr. </translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Направление принято: %1</source>
        <translation>Auftrag übernommen: %1</translation>
    </message>
    <message>
        <source>Поставлено в очередь отправки</source>
        <translation>Zum Senden vorgemerkt</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Arbeitsliste</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Sendewarteschlange</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Wählen Sie einen Patienten in der Kartei</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Frühere EKGs</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT-Anforderungen</translation>
    </message>
    <message>
        <source>Запрос GDT принят: %1</source>
        <translation>GDT-Anforderung übernommen: %1</translation>
    </message>
    <message>
        <source>Результат GDT не записан в папку обмена: ЭКГ сохранена в карте пациента, запрос не отмечен выполненным
</source>
        <translation>Das GDT-Ergebnis wurde nicht in den Austauschordner geschrieben: Das EKG ist in der Karte des Patienten gespeichert, die Anforderung ist nicht als erledigt markiert
</translation>
    </message>
    <message>
        <source>Результат GDT записан: %1</source>
        <translation>GDT-Ergebnis geschrieben: %1</translation>
    </message>
</context>
<context>
    <name>velkard::app::ParametersDialog</name>
    <message>
        <source>Параметры</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Druck</translation>
    </message>
    <message>
        <source>Печать сетки</source>
        <translation>Raster drucken</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Применить</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Фильтры</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Сетевой фильтр</source>
        <translation>Netzfilter</translation>
    </message>
    <message>
        <source>Дрейф изолинии</source>
        <translation>Grundliniendrift</translation>
    </message>
    <message>
        <source>Мышечный тремор</source>
        <translation>Muskelzittern</translation>
    </message>
    <message>
        <source>50 Гц</source>
        <translation>50 Hz</translation>
    </message>
    <message>
        <source>60 Гц</source>
        <translation>60 Hz</translation>
    </message>
    <message>
        <source>выкл.</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>0,05 Гц</source>
        <translation>0,05 Hz</translation>
    </message>
    <message>
        <source>0,5 Гц</source>
        <translation>0,5 Hz</translation>
    </message>
    <message>
        <source>35 Гц</source>
        <translation>35 Hz</translation>
    </message>
    <message>
        <source>40 Гц</source>
        <translation>40 Hz</translation>
    </message>
    <message>
        <source>выкл. (150 Гц)</source>
        <translation>aus (150 Hz)</translation>
    </message>
    <message>
        <source>Имитатор прибора</source>
        <translation>Simuliertes Gerät</translation>
    </message>
    <message>
        <source>Первый прибор на USB</source>
        <translation>Erstes Gerät an USB</translation>
    </message>
    <message>
        <source>Найден прибор</source>
        <translation>Gerät gefunden</translation>
    </message>
    <message>
        <source>Прибор</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Anschluss</translation>
    </message>
    <message>
        <source>Выберите найденный прибор или имитатор, или введите путь к порту (например, /dev/ttyUSB0)</source>
        <translation>Wählen Sie ein gefundenes Gerät oder den Simulator, oder geben Sie den Pfad des Anschlusses ein (zum Beispiel /dev/ttyUSB0)</translation>
    </message>
    <message>
        <source>Вид</source>
        <translation>Ansicht</translation>
    </message>
    <message>
        <source>Тёмный фон экрана</source>
        <translation>Dunkler Bildschirmhintergrund</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::CardFileWindow</name>
    <message>
        <source>Выберите пациента</source>
        <translation>Wählen Sie den Patienten</translation>
    </message>
    <message>
        <source>Архив пациента заполнен: в нём 999 записей. Новая ЭКГ не может быть записана</source>
        <translation>Das Archiv des Patienten ist voll: Es enthält 999 Aufnahmen. Ein neues EKG kann nicht aufgenommen werden</translation>
    </message>
    <message>
        <source>Выберите в архиве № ЭКГ</source>
        <translation>Wählen Sie im Archiv ein EKG</translation>
    </message>
    <message>
        <source>Картотека занята: её изменяет другая программа или рабочее место. Повторите через несколько секунд.</source>
        <translation>Die Kartei ist belegt: Ein anderes Programm oder ein anderer Arbeitsplatz ändert sie. Versuchen Sie es in einigen Sekunden erneut.</translation>
    </message>
    <message>
        <source>Ошибка открытия картотеки
</source>
        <translation>Die Kartei kann nicht geöffnet werden
</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Neuer Patient</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Запись</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Архив пациента</source>
        <translation>Archiv des Patienten</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <translation>Name, Vorname</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Geschlecht</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Geburtsdatum</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Geburtsort</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telefon</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Krankenversicherungsnummer</translation>
    </message>
    <message>
        <source>Ф.И.О.</source>
        <comment>column</comment>
        <translation>Name, Vorname</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <comment>column</comment>
        <translation>Geb.-Datum</translation>
    </message>
    <message>
        <source>Пол</source>
        <comment>column</comment>
        <translation>Geschlecht</translation>
    </message>
    <message>
        <source>№</source>
        <comment>column</comment>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Дата</source>
        <comment>column</comment>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Время</source>
        <comment>column</comment>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>Длительность ЭКГ,с</source>
        <comment>column</comment>
        <translation>EKG-Dauer, s</translation>
    </message>
    <message>
        <source>Список сохраненных ЭКГ пациента</source>
        <translation>Liste der gespeicherten EKGs des Patienten</translation>
    </message>
    <message>
        <source>Ввести в базу данные нового пациента</source>
        <translation>Daten eines neuen Patienten erfassen</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Patientendaten ändern</translation>
    </message>
    <message>
        <source>Удалить карту пациента из базы</source>
        <translation>Patientenkarte aus der Kartei löschen</translation>
    </message>
    <message>
        <source>Вывести на экран ЭКГ из архива</source>
        <translation>EKG aus dem Archiv anzeigen</translation>
    </message>
    <message>
        <source>Сохранить ЭКГ из архива в файл EDF+, DICOM, SCP-ECG или HL7 aECG</source>
        <translation>EKG aus dem Archiv als EDF+, DICOM, SCP-ECG oder HL7 aECG speichern</translation>
    </message>
    <message>
        <source>Удалить выделенную ЭКГ из  архива</source>
        <translation>Markiertes EKG aus dem Archiv löschen</translation>
    </message>
    <message>
        <source>Регистрация ЭКГ в реальном времени</source>
        <translation>EKG-Aufnahme in Echtzeit</translation>
    </message>
    <message>
        <source>Ошибка записи в картотеку
</source>
        <translation>In die Kartei kann nicht geschrieben werden
</translation>
    </message>
    <message>
        <source>Ошибка удаления пациента
</source>
        <translation>Der Patient kann nicht gelöscht werden
</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Die EKG-Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <comment>export</comment>
        <translation>Die EKG-Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Удалить запись?</source>
        <translation>Aufnahme löschen?</translation>
    </message>
    <message>
        <source>Ошибка отрытия файла</source>
        <translation>Die Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Удалить пациента «%1» и все его записи (%2)?</source>
        <translation>Patient „%1“ und alle Aufzeichnungen (%2) löschen?</translation>
    </message>
    <message>
        <source>Вид</source>
        <comment>column</comment>
        <translation>Art</translation>
    </message>
    <message>
        <source>Ритмограмма</source>
        <translation>Rhythmogramm</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Поиск:</source>
        <translation>Suche:</translation>
    </message>
    <message>
        <source>Ф.И.О., ID, полис или дата рождения</source>
        <translation>Name, ID, Versicherungsnummer oder Geburtsdatum</translation>
    </message>
    <message>
        <source>Показать пациентов, у которых Ф.И.О., ID, номер полиса или дата рождения содержат каждое из введённых слов</source>
        <translation>Patienten zeigen, deren Name, ID, Versicherungsnummer oder Geburtsdatum jedes eingegebene Wort enthält</translation>
    </message>
    <message>
        <source>Отправка</source>
        <comment>column</comment>
        <translation>Versand</translation>
    </message>
    <message>
        <source>Отправить</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Отправить ЭКГ в архив (PACS) и в медицинскую систему</source>
        <translation>EKG an das Archiv (PACS) und das Praxis-/Kliniksystem senden</translation>
    </message>
    <message>
        <source>Очередь отправки</source>
        <translation>Sendewarteschlange</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Vergleichen</translation>
    </message>
    <message>
        <source>Сравнить выделенную ЭКГ с другой ЭКГ этого пациента</source>
        <translation>Das gewählte EKG mit einem anderen EKG dieses Patienten vergleichen</translation>
    </message>
    <message>
        <source>Заключение</source>
        <comment>column</comment>
        <translation>Befund</translation>
    </message>
    <message>
        <source>отчёт не читается</source>
        <translation>Befund unlesbar</translation>
    </message>
    <message>
        <source>Подтверждено</source>
        <translation>Bestätigt</translation>
    </message>
    <message>
        <source>не подтверждено</source>
        <translation>nicht bestätigt</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Bestätigt: %1, %2</translation>
    </message>
    <message>
        <source>Не подтверждено</source>
        <translation>Nicht bestätigt</translation>
    </message>
    <message>
        <source>Что отправляется, отправлено или не принято</source>
        <translation>Was gesendet wird, gesendet wurde oder abgelehnt wurde</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Frühere EKGs</translation>
    </message>
    <message>
        <source>ЭКГ этого пациента в архиве (PACS)</source>
        <translation>EKGs dieses Patienten im Archiv (PACS)</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Arbeitsliste</translation>
    </message>
    <message>
        <source>Направления на сегодня с сервера рабочего списка</source>
        <translation>Heutige Aufträge vom Arbeitslisten-Server</translation>
    </message>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT-Anforderungen</translation>
    </message>
    <message>
        <source>Запросы программы врачебной практики (GDT)</source>
        <translation>Anforderungen der Praxissoftware (GDT)</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::PatientInputs</name>
    <message>
        <source>Ф.И.О.</source>
        <translation>Name, Vorname</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Geschlecht</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Geburtsdatum</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Geburtsort</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telefon</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Krankenversicherungsnummer</translation>
    </message>
    <message>
        <source>Муж</source>
        <translation>m</translation>
    </message>
    <message>
        <source>Жен</source>
        <translation>w</translation>
    </message>
    <message>
        <source>Новый пациент</source>
        <translation>Neuer Patient</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Введите ФИО пациента и № страхового полиса</source>
        <translation>Geben Sie den Namen des Patienten und die Versicherungsnummer ein</translation>
    </message>
    <message>
        <source>Введите ФИО пациента</source>
        <translation>Geben Sie den Namen des Patienten ein</translation>
    </message>
    <message>
        <source>Введите № страхового полиса</source>
        <translation>Geben Sie die Versicherungsnummer ein</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Ошибка создания ID файла</source>
        <translation>Die Patientendatei kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Изменить данные о пациенте</source>
        <translation>Patientendaten ändern</translation>
    </message>
    <message>
        <source>«%1»: не более %2 знаков</source>
        <translation>„%1“: höchstens %2 Zeichen</translation>
    </message>
    <message>
        <source>Укажите пол пациента</source>
        <translation>Geben Sie das Geschlecht des Patienten an</translation>
    </message>
    <message>
        <source>В картотеке уже есть пациент с полисом № %1: %2. Создать ещё одного?</source>
        <translation>Die Kartei enthält bereits einen Patienten mit der Versicherungsnummer %1: %2. Trotzdem einen weiteren anlegen?</translation>
    </message>
</context>
<context>
    <name>velkard::cardfile::ui::UnfiledRecordings</name>
    <message>
        <source>Найдена незавершённая запись пациента %1, %2 с. Сохранить в архив?</source>
        <translation>Eine nicht abgeschlossene Aufzeichnung des Patienten %1 wurde gefunden, %2 s. In die Patientenakte aufnehmen?</translation>
    </message>
    <message>
        <source>Запись не внесена в архив и осталась в файле </source>
        <translation>Die Aufzeichnung wurde nicht aufgenommen und bleibt in der Datei </translation>
    </message>
    <message>
        <source>Сохранено: %1, № %2, %3 с</source>
        <translation>Gespeichert: %1, Nr. %2, %3 s</translation>
    </message>
    <message>
        <source>Найдены записи, не внесённые ни в одну карту (%1). Они сохранены в папке %2; внести в карту пациента: velkard-cli recover</source>
        <translation>Aufzeichnungen ohne Patientenakte gefunden (%1). Sie liegen im Ordner %2; in eine Akte aufnehmen: velkard-cli recover</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::CompareWindow</name>
    <message>
        <source>ЧСС, уд/мин</source>
        <translation>HF, /min</translation>
    </message>
    <message>
        <source>RR, мс</source>
        <translation>RR, ms</translation>
    </message>
    <message>
        <source>P, мс</source>
        <translation>P, ms</translation>
    </message>
    <message>
        <source>PR, мс</source>
        <translation>PQ, ms</translation>
    </message>
    <message>
        <source>QRS, мс</source>
        <translation>QRS, ms</translation>
    </message>
    <message>
        <source>QT, мс</source>
        <translation>QT, ms</translation>
    </message>
    <message>
        <source>QTc (Базетт), мс</source>
        <translation>QTc (Bazett), ms</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа), мс</source>
        <translation>QTc (Fridericia), ms</translation>
    </message>
    <message>
        <source>Ось P, °</source>
        <translation>P-Achse, °</translation>
    </message>
    <message>
        <source>Ось QRS, °</source>
        <translation>QRS-Achse, °</translation>
    </message>
    <message>
        <source>Ось T, °</source>
        <translation>T-Achse, °</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ</source>
        <translation>EKG-Vergleich</translation>
    </message>
    <message>
        <source>Пациент: %1</source>
        <translation>Patient: %1</translation>
    </message>
    <message>
        <source>Дата рождения: %1</source>
        <translation>Geboren: %1</translation>
    </message>
    <message>
        <source>заключение подтверждено: %1, %2</source>
        <translation>Befund bestätigt: %1, %2</translation>
    </message>
    <message>
        <source>заключение программы, не подтверждено</source>
        <translation>Aussagen des Programms, nicht bestätigt</translation>
    </message>
    <message>
        <source>Ранее: %1 %2 (%3)</source>
        <translation>Früher: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Теперь: %1 %2 (%3)</source>
        <translation>Jetzt: %1 %2 (%3)</translation>
    </message>
    <message>
        <source>Показатель</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Разница</source>
        <translation>Differenz</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Befund</translation>
    </message>
    <message>
        <source>Появилось: %1</source>
        <translation>Neu: %1</translation>
    </message>
    <message>
        <source>Исчезло: %1</source>
        <translation>Nicht mehr: %1</translation>
    </message>
    <message>
        <source>Без изменений: %1</source>
        <translation>Unverändert: %1</translation>
    </message>
    <message>
        <source>Ни одна ЭКГ не содержит заключений</source>
        <translation>Keines der EKGs hat eine Aussage</translation>
    </message>
    <message>
        <source>%1 мм/с   %2 мм/мВ</source>
        <translation>%1 mm/s   %2 mm/mV</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Сохранить сравнение на одной странице в файл PDF</source>
        <translation>Den Vergleich auf einer Seite als PDF-Datei speichern</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Изменение</source>
        <translation>Änderung</translation>
    </message>
    <message>
        <source>Появилось</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Исчезло</source>
        <translation>Nicht mehr</translation>
    </message>
    <message>
        <source>Без изменений</source>
        <translation>Unverändert</translation>
    </message>
    <message>
        <source>Сохранить сравнение ЭКГ в файл PDF</source>
        <translation>EKG-Vergleich als PDF-Datei speichern</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ %1 %2 и %3</source>
        <translation>EKG-Vergleich %1 %2 und %3</translation>
    </message>
    <message>
        <source>Сравнение не сохранено:
</source>
        <translation>Der Vergleich wurde nicht gespeichert:
</translation>
    </message>
    <message>
        <source>Сравнение ЭКГ сохранено в файл PDF
</source>
        <translation>EKG-Vergleich als PDF-Datei gespeichert
</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>velkard::compare::ui::PickRecordingDialog</name>
    <message>
        <source>Сравнить с ЭКГ</source>
        <translation>Mit einem EKG vergleichen</translation>
    </message>
    <message>
        <source>С какой ЭКГ сравнить ЭКГ от %1 %2?</source>
        <translation>Mit welchem EKG soll das EKG vom %1 %2 verglichen werden?</translation>
    </message>
    <message>
        <source>№</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Dauer, s</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Vergleichen</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Ошибка открытия файла с ЭКГ
</source>
        <translation>Die EKG-Datei kann nicht geöffnet werden
</translation>
    </message>
</context>
<context>
    <name>velkard::exporting::ui::ExportRecording</name>
    <message>
        <source>Ошибка открытия файла с ЭКГ</source>
        <translation>Die EKG-Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Ритмограмма не содержит отведений ЭКГ и не экспортируется</source>
        <translation>Ein Rhythmogramm enthält keine EKG-Ableitungen und wird nicht exportiert</translation>
    </message>
    <message>
        <source>Запись ЭКГ пуста</source>
        <translation>Die EKG-Aufnahme ist leer</translation>
    </message>
    <message>
        <source>Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после первых 10 с; выберите EDF+, DICOM или HL7 aECG</source>
        <translation>SCP-ECG fasst höchstens 40 s und eine A2-Aufnahme nicht über ihre ersten 10 s hinaus; wählen Sie EDF+, DICOM oder HL7 aECG</translation>
    </message>
    <message>
        <source>Не удалось записать файл (папка только для чтения или диск заполнен); файл не создан</source>
        <translation>Die Datei kann nicht geschrieben werden (schreibgeschützter Ordner oder volle Festplatte); es wurde keine Datei angelegt</translation>
    </message>
    <message>
        <source>Ошибка экспорта</source>
        <translation>Export fehlgeschlagen</translation>
    </message>
    <message>
        <source>EDF+ для программ просмотра (*.edf)</source>
        <translation>EDF+ für Signalbetrachter (*.edf)</translation>
    </message>
    <message>
        <source>DICOM ЭКГ для архива изображений (*.dcm)</source>
        <translation>DICOM-EKG für Bildarchive (*.dcm)</translation>
    </message>
    <message>
        <source>Экспорт ЭКГ</source>
        <translation>EKG exportieren</translation>
    </message>
    <message>
        <source>ЭКГ экспортирована в файл
</source>
        <translation>Das EKG wurde exportiert nach
</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Экспорт: %1 с из %2 с</source>
        <translation>Export: %1 s von %2 s</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::Calipers</name>
    <message>
        <source>,</source>
        <translation>,</translation>
    </message>
    <message>
        <source>Δt %1 мс  %2 уд/мин  ΔU %3 мВ</source>
        <translation>Δt %1 ms  %2 /min  ΔU %3 mV</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::HeartRateLabel</name>
    <message>
        <source>ЧСС</source>
        <translation>HF</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsController</name>
    <message>
        <source>отключено</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>шум</source>
        <translation>Rauschen</translation>
    </message>
    <message>
        <source>сеть</source>
        <translation>Netz</translation>
    </message>
    <message>
        <source>дрейф</source>
        <translation>Drift</translation>
    </message>
    <message>
        <source>скачки</source>
        <translation>Sprünge</translation>
    </message>
    <message>
        <source>Измерения</source>
        <translation>Messwerte</translation>
    </message>
</context>
<context>
    <name>velkard::measure::ui::MeasurementsWindow</name>
    <message>
        <source>ЧСС</source>
        <translation>Herzfrequenz</translation>
    </message>
    <message>
        <source>уд/мин</source>
        <translation>/min</translation>
    </message>
    <message>
        <source>RR</source>
        <translation>RR</translation>
    </message>
    <message>
        <source>мс</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>P</source>
        <translation>P</translation>
    </message>
    <message>
        <source>PR</source>
        <translation>PR</translation>
    </message>
    <message>
        <source>QRS</source>
        <translation>QRS</translation>
    </message>
    <message>
        <source>QT</source>
        <translation>QT</translation>
    </message>
    <message>
        <source>QTc (Базетт)</source>
        <translation>QTc (Bazett)</translation>
    </message>
    <message>
        <source>QTc (Фридеричиа)</source>
        <translation>QTc (Fridericia)</translation>
    </message>
    <message>
        <source>Ось P</source>
        <translation>P-Achse</translation>
    </message>
    <message>
        <source>Ось QRS</source>
        <translation>QRS-Achse</translation>
    </message>
    <message>
        <source>Ось T</source>
        <translation>T-Achse</translation>
    </message>
    <message>
        <source>SV1 + RV5 (Соколов–Лайон)</source>
        <translation>SV1 + RV5 (Sokolow–Lyon)</translation>
    </message>
    <message>
        <source>мВ</source>
        <translation>mV</translation>
    </message>
    <message>
        <source>Измерения</source>
        <translation>Messwerte</translation>
    </message>
    <message>
        <source>R, мВ</source>
        <translation>R, mV</translation>
    </message>
    <message>
        <source>S, мВ</source>
        <translation>S, mV</translation>
    </message>
    <message>
        <source>С %1 по %2 с, комплексов в медиане: %3</source>
        <translation>Von %1 bis %2 s, Komplexe im Median: %3</translation>
    </message>
    <message>
        <source>Q, мс</source>
        <translation>Q, ms</translation>
    </message>
    <message>
        <source>Q, мВ</source>
        <translation>Q, mV</translation>
    </message>
    <message>
        <source>R′, мВ</source>
        <translation>R′, mV</translation>
    </message>
    <message>
        <source>ST J, мВ</source>
        <translation>ST J, mV</translation>
    </message>
    <message>
        <source>ST J+60, мВ</source>
        <translation>ST J+60, mV</translation>
    </message>
    <message>
        <source>ST J+80, мВ</source>
        <translation>ST J+80, mV</translation>
    </message>
    <message>
        <source>Сигнал</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>T, мВ</source>
        <translation>T, mV</translation>
    </message>
    <message>
        <source>Заключение программы (не подтверждено)</source>
        <translation>Befund des Programms (nicht bestätigt)</translation>
    </message>
    <message>
        <source>Заключение</source>
        <translation>Befund</translation>
    </message>
    <message>
        <source>Почему</source>
        <translation>Begründung</translation>
    </message>
    <message>
        <source>Добавить…</source>
        <translation>Hinzufügen…</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Изменить текст…</source>
        <translation>Text ändern…</translation>
    </message>
    <message>
        <source>Свой текст…</source>
        <translation>Freitext…</translation>
    </message>
    <message>
        <source>Подтвердить…</source>
        <translation>Bestätigen…</translation>
    </message>
    <message>
        <source> (изменено врачом)</source>
        <translation> (vom Arzt geändert)</translation>
    </message>
    <message>
        <source> (добавлено врачом)</source>
        <translation> (vom Arzt hinzugefügt)</translation>
    </message>
    <message>
        <source>текст врача</source>
        <translation>Text des Arztes</translation>
    </message>
    <message>
        <source>Заключение, изменённое врачом (не подтверждено)</source>
        <translation>Vom Arzt geänderte Befundaussagen (nicht bestätigt)</translation>
    </message>
    <message>
        <source>Подтверждено: %1, %2</source>
        <translation>Bestätigt: %1, %2</translation>
    </message>
    <message>
        <source>он составлен к записи от %1</source>
        <translation>er wurde zur Aufnahme vom %1 erstellt</translation>
    </message>
    <message>
        <source>Сохранённый отчёт к этой записи не читается (%1). Показано заключение программы; файл отчёта не изменён и при первом изменении будет сохранён под другим именем.</source>
        <translation>Der gespeicherte Befund dieser Aufnahme ist nicht lesbar (%1). Die Aussagen des Programms werden angezeigt; die Befunddatei bleibt unverändert und wird bei der ersten Änderung unter einem anderen Namen aufbewahrt.</translation>
    </message>
    <message>
        <source>Отчёт не сохранён: %1</source>
        <translation>Der Befund wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>Выберите заключение в списке.</source>
        <translation>Wählen Sie eine Aussage in der Liste.</translation>
    </message>
    <message>
        <source>Добавить заключение</source>
        <translation>Aussage hinzufügen</translation>
    </message>
    <message>
        <source>Удалить заключение «%1»?</source>
        <translation>Die Aussage „%1“ entfernen?</translation>
    </message>
    <message>
        <source>Текст заключения</source>
        <translation>Text der Aussage</translation>
    </message>
    <message>
        <source>Заключение:</source>
        <translation>Aussage:</translation>
    </message>
    <message>
        <source>Свой текст</source>
        <translation>Freitext</translation>
    </message>
    <message>
        <source>Текст врача:</source>
        <translation>Text des Arztes:</translation>
    </message>
    <message>
        <source>Подтвердить отчёт</source>
        <translation>Befund bestätigen</translation>
    </message>
    <message>
        <source>Врач (фамилия, инициалы):</source>
        <translation>Arzt (Name, Initialen):</translation>
    </message>
    <message>
        <source>Отчёт не подтверждён: не указано имя врача.</source>
        <translation>Der Befund wurde nicht bestätigt: kein Name des Arztes angegeben.</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::DeviceFileList</name>
    <message>
        <source>Память ЭК</source>
        <translation>Speicher des Geräts</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Принять</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Выделить всё</source>
        <translation>Alle markieren</translation>
    </message>
    <message>
        <source>Снять выделение</source>
        <translation>Markierung aufheben</translation>
    </message>
    <message>
        <source>Удалить выбранные файлы (%1) с карты памяти прибора?</source>
        <translation>Die markierten Dateien (%1) von der Speicherkarte des Geräts löschen?</translation>
    </message>
</context>
<context>
    <name>velkard::memory::ui::MemoryWindow</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Память</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Память ЭК</source>
        <translation>Speicher des Geräts</translation>
    </message>
    <message>
        <source>Карта памяти</source>
        <translation>Speicherkarte</translation>
    </message>
    <message>
        <source>Картотека</source>
        <translation>Kartei</translation>
    </message>
    <message>
        <source>Новая карта пациента</source>
        <translation>Neue Patientenkarte</translation>
    </message>
    <message>
        <source>Положить в карту пациента</source>
        <translation>In die Patientenkarte ablegen</translation>
    </message>
    <message>
        <source>Скачать архив с карты памяти</source>
        <translation>Archiv von der Speicherkarte laden</translation>
    </message>
    <message>
        <source>Скачать архив с ЭК</source>
        <translation>Archiv vom Gerät laden</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Фамилия Имя Отчество</source>
        <translation>Name, Vorname</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Geschlecht</translation>
    </message>
    <message>
        <source>Дата рождения</source>
        <translation>Geburtsdatum</translation>
    </message>
    <message>
        <source>Место рождения</source>
        <translation>Geburtsort</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Телефон</source>
        <translation>Telefon</translation>
    </message>
    <message>
        <source>Медицинский страховой полис</source>
        <translation>Krankenversicherungsnummer</translation>
    </message>
    <message>
        <source>Прибор не найден</source>
        <translation>Das Gerät wurde nicht gefunden</translation>
    </message>
    <message>
        <source>Выберите пациента в картотеке</source>
        <translation>Wählen Sie den Patienten in der Kartei</translation>
    </message>
    <message>
        <source>Выберите файл ЭКГ для сохранения</source>
        <translation>Wählen Sie eine EKG-Datei zum Ablegen</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Файл помещён в карту пациента</source>
        <translation>Die Datei wurde in die Patientenkarte abgelegt</translation>
    </message>
    <message>
        <source>Файлы помещены в карту пациента: </source>
        <translation>In die Patientenkarte abgelegte Dateien: </translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EarlierWindow</name>
    <message>
        <source>Ранее снятые ЭКГ</source>
        <translation>Frühere EKGs</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Untersuchung</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>Auftragsnummer</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>EKGs</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Получить ЭКГ из архива и открыть для просмотра и измерения</source>
        <translation>Das EKG aus dem Archiv holen und zur Ansicht und Messung öffnen</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Архив (PACS) не настроен: Настройка → Параметры → Сеть</source>
        <translation>Kein Archiv (PACS) eingetragen: Einstellungen → Parameter → Netzwerk</translation>
    </message>
    <message>
        <source>Не по чему искать в архиве: у пациента нет ни ID больницы, ни имени
</source>
        <translation>Nichts, wonach im Archiv gesucht werden kann: der Patient hat weder eine Krankenhaus-ID noch einen Namen
</translation>
    </message>
    <message>
        <source>Запрос к архиву (%1 из %2)…</source>
        <translation>Anfrage an das Archiv (%1 von %2)…</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Архив (PACS) недоступен
</source>
        <translation>Das Archiv (PACS) ist nicht erreichbar
</translation>
    </message>
    <message>
        <source>Архив (PACS) отказал в запросе
</source>
        <translation>Das Archiv (PACS) hat die Anfrage abgelehnt
</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с таким именем и датой рождения</source>
        <translation>Das Archiv enthält kein EKG eines Patienten mit diesem Namen und Geburtsdatum</translation>
    </message>
    <message>
        <source>В архиве нет ЭКГ пациента с ID %1</source>
        <translation>Das Archiv enthält kein EKG des Patienten mit der ID %1</translation>
    </message>
    <message>
        <source>Исследований с ЭКГ: %1</source>
        <translation>Untersuchungen mit EKG: %1</translation>
    </message>
    <message>
        <source>Выберите исследование</source>
        <translation>Wählen Sie eine Untersuchung</translation>
    </message>
    <message>
        <source>Получение ЭКГ из архива (%1 из %2)…</source>
        <translation>Das EKG wird aus dem Archiv geholt (%1 von %2)…</translation>
    </message>
    <message>
        <source>ЭКГ не получена из архива
</source>
        <translation>Das EKG wurde nicht aus dem Archiv geholt
</translation>
    </message>
    <message>
        <source>Архив не передал ни одной ЭКГ этого исследования</source>
        <translation>Das Archiv hat kein EKG dieser Untersuchung gesendet</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::EcgChoiceDialog</name>
    <message>
        <source>В исследовании несколько ЭКГ: выберите одну</source>
        <translation>Die Untersuchung enthält mehrere EKGs: wählen Sie eines</translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>Серия</source>
        <translation>Serie</translation>
    </message>
    <message>
        <source>Отведения</source>
        <translation>Ableitungen</translation>
    </message>
    <message>
        <source>Длительность, с</source>
        <translation>Dauer, s</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::GdtWindow</name>
    <message>
        <source>Запросы GDT</source>
        <translation>GDT-Anforderungen</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Geburtsdatum</translation>
    </message>
    <message>
        <source>Пол</source>
        <translation>Geschlecht</translation>
    </message>
    <message>
        <source>№ пациента GDT</source>
        <translation>GDT-Patientennr.</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Untersuchung</translation>
    </message>
    <message>
        <source>Файл</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента по номеру GDT; результат следующей ЭКГ будет записан в папку обмена</source>
        <translation>Die Karte des Patienten anhand der GDT-Nummer finden oder anlegen; das Ergebnis des nächsten EKGs wird in den Austauschordner geschrieben</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Папка обмена GDT не настроена: Настройка → Параметры → Сеть</source>
        <translation>Kein GDT-Austauschordner eingetragen: Einstellungen → Parameter → Netzwerk</translation>
    </message>
    <message>
        <source>Папка обмена GDT не читается: %1
</source>
        <translation>Der GDT-Austauschordner ist nicht lesbar: %1
</translation>
    </message>
    <message>
        <source>В папке обмена GDT %1 нет запросов для %2</source>
        <translation>Der GDT-Austauschordner %1 enthält keine Anforderungen für %2</translation>
    </message>
    <message>
        <source>Запросов: %1</source>
        <translation>Anforderungen: %1</translation>
    </message>
    <message>
        <source>муж</source>
        <translation>M</translation>
    </message>
    <message>
        <source>жен</source>
        <translation>W</translation>
    </message>
    <message>
        <source>Выберите запрос</source>
        <translation>Wählen Sie eine Anforderung</translation>
    </message>
    <message>
        <source>Запрос не принят
</source>
        <translation>Die Anforderung wurde nicht übernommen
</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::NetworkPage</name>
    <message>
        <source>Сеть</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>AE-титул рабочего места</source>
        <translation>AE-Titel dieses Arbeitsplatzes</translation>
    </message>
    <message>
        <source>Станция в рабочем списке</source>
        <translation>Station in der Arbeitsliste</translation>
    </message>
    <message>
        <source>как AE-титул рабочего места</source>
        <translation>wie der AE-Titel des Arbeitsplatzes</translation>
    </message>
    <message>
        <source>Рабочий список</source>
        <translation>Arbeitsliste</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Archiv (PACS)</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>HL7-Empfänger</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>AE-титул</source>
        <translation>AE-Titel</translation>
    </message>
    <message>
        <source>Папка обмена GDT</source>
        <translation>GDT-Austauschordner</translation>
    </message>
    <message>
        <source>Папка заказов HL7</source>
        <translation>HL7-Auftragsordner</translation>
    </message>
    <message>
        <source>Сертификат центра (TLS)</source>
        <translation>CA-Zertifikat (TLS)</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после сохранения</source>
        <translation>EKG nach dem Speichern senden</translation>
    </message>
    <message>
        <source>Отправлять ЭКГ после подтверждения отчёта</source>
        <translation>EKG nach der Bestätigung des Befunds senden</translation>
    </message>
    <message>
        <source>Запрашивать подтверждение хранения (Storage Commitment)</source>
        <translation>Speicherbestätigung vom Archiv anfordern (Storage Commitment)</translation>
    </message>
    <message>
        <source>Принимать ассоциации на порту</source>
        <translation>Assoziationen annehmen auf Port</translation>
    </message>
    <message>
        <source>Ранее снятые ЭКГ получать</source>
        <translation>Frühere EKGs holen per</translation>
    </message>
    <message>
        <source>Проверить связь</source>
        <translation>Verbindung prüfen</translation>
    </message>
    <message>
        <source>%1: AE-титул — от 1 до 16 латинских букв, цифр и знаков без «\»</source>
        <translation>%1: ein AE-Titel besteht aus 1 bis 16 lateinischen Buchstaben, Ziffern und Zeichen ohne „\“</translation>
    </message>
    <message>
        <source>Не задан ни сервер рабочего списка, ни архив</source>
        <translation>Weder ein Arbeitslisten-Server noch ein Archiv ist eingetragen</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>связь есть</source>
        <translation>Verbindung besteht</translation>
    </message>
    <message>
        <source>нет связи</source>
        <translation>keine Verbindung</translation>
    </message>
    <message>
        <source>Проверка связи: %1 из %2…</source>
        <translation>Verbindung wird geprüft: %1 von %2…</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::OutboxWindow</name>
    <message>
        <source>Очередь отправки</source>
        <translation>Sendewarteschlange</translation>
    </message>
    <message>
        <source>ЭКГ</source>
        <translation>EKG</translation>
    </message>
    <message>
        <source>Куда</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Попыток</source>
        <translation>Versuche</translation>
    </message>
    <message>
        <source>Следующая попытка</source>
        <translation>Nächster Versuch</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Отправить выбранное сейчас</source>
        <translation>Das Gewählte jetzt senden</translation>
    </message>
    <message>
        <source>Удалить из очереди…</source>
        <translation>Aus der Warteschlange entfernen…</translation>
    </message>
    <message>
        <source>Больше не отправлять; ЭКГ остаётся в картотеке</source>
        <translation>Nicht mehr senden; das EKG bleibt in der Kartei</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>сейчас</source>
        <translation>jetzt</translation>
    </message>
    <message>
        <source>Приёмник HL7</source>
        <translation>HL7-Empfänger</translation>
    </message>
    <message>
        <source>Архив (PACS)</source>
        <translation>Archiv (PACS)</translation>
    </message>
    <message>
        <source>Очередь пуста</source>
        <translation>Die Warteschlange ist leer</translation>
    </message>
    <message>
        <source>Ожидают: %1, с ошибкой: %2, отправлено: %3</source>
        <translation>Wartend: %1, fehlgeschlagen: %2, gesendet: %3</translation>
    </message>
    <message>
        <source>Выберите отправку</source>
        <translation>Wählen Sie einen Eintrag</translation>
    </message>
    <message>
        <source>Очередь сейчас отправляется; повторите через несколько секунд</source>
        <translation>Die Warteschlange wird gerade gesendet; versuchen Sie es in einigen Sekunden erneut</translation>
    </message>
    <message>
        <source>Уже отправлено</source>
        <translation>Bereits gesendet</translation>
    </message>
    <message>
        <source>Больше не отправлять выбранное? ЭКГ остаётся в картотеке.</source>
        <translation>Das Gewählte nicht mehr senden? Das EKG bleibt in der Kartei.</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::SendActions</name>
    <message>
        <source>Отправка</source>
        <translation>Versand</translation>
    </message>
    <message>
        <source>Не настроены ни архив (PACS), ни приёмник HL7: Настройка → Параметры → Сеть</source>
        <translation>Weder ein Archiv (PACS) noch ein HL7-Empfänger ist eingetragen: Einstellungen → Parameter → Netzwerk</translation>
    </message>
    <message>
        <source>Ритмограмма не отправляется: в ней нет ЭКГ</source>
        <translation>Ein Rhythmogramm wird nicht gesendet: es enthält kein EKG</translation>
    </message>
    <message>
        <source>ЭКГ не поставлена в очередь отправки
</source>
        <translation>Das EKG wurde nicht zum Senden vorgemerkt
</translation>
    </message>
    <message>
        <source>отправлено</source>
        <translation>gesendet</translation>
    </message>
    <message>
        <source>ожидает</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>ошибка</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>ЭКГ уже в очереди отправки. Повторить отправку сейчас?</source>
        <translation>Das EKG ist schon zum Senden vorgemerkt. Jetzt erneut senden?</translation>
    </message>
    <message>
        <source>ЭКГ уже отправлена. Отправить ещё раз?</source>
        <translation>Das EKG wurde schon gesendet. Noch einmal senden?</translation>
    </message>
    <message>
        <source>снято с отправки</source>
        <translation>aus der Warteschlange entfernt</translation>
    </message>
    <message>
        <source>отправлено, ожидается подтверждение хранения</source>
        <translation>gesendet, Speicherbestätigung erwartet</translation>
    </message>
    <message>
        <source>хранение подтверждено</source>
        <translation>Speicherung bestätigt</translation>
    </message>
</context>
<context>
    <name>velkard::net::ui::WorklistWindow</name>
    <message>
        <source>Рабочий список</source>
        <translation>Arbeitsliste</translation>
    </message>
    <message>
        <source>Пациент</source>
        <translation>Patient</translation>
    </message>
    <message>
        <source>ID пациента</source>
        <translation>Patienten-ID</translation>
    </message>
    <message>
        <source>Дата рожд.</source>
        <translation>Geburtsdatum</translation>
    </message>
    <message>
        <source>№ направления</source>
        <translation>Auftragsnummer</translation>
    </message>
    <message>
        <source>Назначено</source>
        <translation>Geplant</translation>
    </message>
    <message>
        <source>Исследование</source>
        <translation>Untersuchung</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Взять</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Найти или завести карту пациента; следующая ЭКГ будет записана по этому направлению</source>
        <translation>Die Karte des Patienten finden oder anlegen; das nächste EKG wird für diesen Auftrag aufgezeichnet</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Сервер рабочего списка не настроен: Настройка → Параметры → Сеть</source>
        <translation>Kein Arbeitslisten-Server eingetragen: Einstellungen → Parameter → Netzwerk</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Рабочий список не получен
</source>
        <translation>Die Arbeitsliste wurde nicht empfangen
</translation>
    </message>
    <message>
        <source>На сегодня направлений нет</source>
        <translation>Für heute keine Aufträge</translation>
    </message>
    <message>
        <source>Направлений: %1</source>
        <translation>Aufträge: %1</translation>
    </message>
    <message>
        <source>Выберите направление</source>
        <translation>Wählen Sie den Auftrag</translation>
    </message>
    <message>
        <source>Направление не принято
</source>
        <translation>Der Auftrag wurde nicht übernommen
</translation>
    </message>
    <message>
        <source>Запрос к серверу рабочего списка (%1 из %2)…</source>
        <translation>Arbeitslisten-Server wird abgefragt (%1 von %2)…</translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintCommands</name>
    <message>
        <source>Сохранить ЭКГ в файл PDF</source>
        <translation>EKG als PDF-Datei speichern</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>Der Beginn des Berichts muss eine ganze Zahl von Sekunden sein</translation>
    </message>
    <message>
        <source>Ошибка печати</source>
        <translation>Drucken fehlgeschlagen</translation>
    </message>
    <message>
        <source>Выберите ЭКГ пациента</source>
        <translation>Wählen Sie ein EKG des Patienten</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Ошибка печати: </source>
        <translation>Drucken fehlgeschlagen: </translation>
    </message>
    <message>
        <source>Нет установленных принтеров: «Печать» сохранит ЭКГ в файл PDF</source>
        <translation>Kein Drucker installiert: „Drucken“ speichert das EKG als PDF-Datei</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>ЭКГ сохранена в файл PDF
</source>
        <translation>Das EKG wurde als PDF-Datei gespeichert:
</translation>
    </message>
    <message>
        <source>ЭКГ %1 %2</source>
        <translation>EKG %1 %2</translation>
    </message>
    <message>
        <source>Отчёт показывает 10 с: он начинается с %1 с, а не с %2 с, так как запись короче</source>
        <translation>Der Bericht zeigt 10 s: er beginnt bei %1 s statt bei %2 s, da die Aufzeichnung kürzer ist</translation>
    </message>
    <message>
        <source>Печать</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Печать: страница %1 из %2</source>
        <translation>Drucken: Seite %1 von %2</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>velkard::print::ui::PrintRangeDialog</name>
    <message>
        <source>Начало,  сек</source>
        <comment>form</comment>
        <translation>Anfang, s</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <comment>form</comment>
        <translation>Ende, s</translation>
    </message>
    <message>
        <source>Отмена</source>
        <comment>form</comment>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <comment>form</comment>
        <translation>Druckbereich</translation>
    </message>
    <message>
        <source>Все</source>
        <comment>form</comment>
        <translation>Alles</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <comment>form</comment>
        <translation>Auswahl</translation>
    </message>
    <message>
        <source>Диапазон вывода на печать</source>
        <translation>Druckbereich</translation>
    </message>
    <message>
        <source>Все</source>
        <translation>Alles</translation>
    </message>
    <message>
        <source>Выборочно</source>
        <translation>Auswahl</translation>
    </message>
    <message>
        <source>Начало, сек</source>
        <translation>Anfang, s</translation>
    </message>
    <message>
        <source>Конец, сек</source>
        <translation>Ende, s</translation>
    </message>
    <message>
        <source>Отчёт: 12 отведений на листе, с секунды</source>
        <translation>12-Kanal-Bericht auf einer Seite, ab Sekunde</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Начало отчёта должно быть целым числом секунд</source>
        <translation>Der Beginn des Berichts muss eine ganze Zahl von Sekunden sein</translation>
    </message>
</context>
<context>
    <name>velkard::ui</name>
    <message>
        <source>Ошибка</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Achtung</translation>
    </message>
</context>
<context>
    <name>velkard::ui::LanguageMenu</name>
    <message>
        <source>Язык</source>
        <translation>Sprache</translation>
    </message>
</context>
</TS>
