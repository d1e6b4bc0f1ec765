<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fa">
  <context>
    <name>Rasmik</name>
    <message>
      <source>سطر %1 سرصفحه جدول</source>
      <translation>line %1 of the table's header block</translation>
    </message>
    <message>
      <source>این فایل کتاب کار xlsx، ods یا xls نیست.</source>
      <translation>This file is no xlsx, ods or xls workbook.</translation>
    </message>
    <message>
      <source>این نوع کتاب کار خوانده نمی‌شود.</source>
      <translation>This kind of workbook is not read.</translation>
    </message>
    <message>
      <source>این نوع کتاب کار خوانده نمی‌شود (%1).</source>
      <translation>This kind of workbook is not read (%1).</translation>
    </message>
    <message>
      <source>این کتاب کار با گذرواژه محافظت شده است و خوانده نمی‌شود.</source>
      <translation>This workbook is protected with a password and is not read.</translation>
    </message>
    <message>
      <source>کتاب کار آسیب دیده است.</source>
      <translation>The workbook is damaged.</translation>
    </message>
    <message>
      <source>کتاب کار آسیب دیده است؛ بخش «%1».</source>
      <translation>The workbook is damaged; part “%1”.</translation>
    </message>
    <message>
      <source>کتاب کار آسیب دیده است (%1).</source>
      <translation>The workbook is damaged (%1).</translation>
    </message>
    <message>
      <source>کتاب کار آسیب دیده است؛ بخش «%1» (%2).</source>
      <translation>The workbook is damaged; part “%1” (%2).</translation>
    </message>
    <message>
      <source>بخش «%1» کتاب کار پس از باز شدن از %2 بایت بزرگ‌تر می‌شود؛ فایل ساختگی یا آسیب دیده است.</source>
      <translation>Part “%1” of the workbook unpacks to more than %2 bytes; the file is forged or damaged.</translation>
    </message>
    <message>
      <source>بخش «%1» کتاب کار تعریف DTD دارد که برای ایمنی خوانده نمی‌شود.</source>
      <translation>Part “%1” of the workbook holds a DTD, which is never read, for safety.</translation>
    </message>
    <message>
      <source>خانه «%1» بیرون از محدوده برگه است؛ کتاب کار آسیب دیده است.</source>
      <translation>Cell “%1” lies outside the sheet; the workbook is damaged.</translation>
    </message>
    <message>
      <source>کتاب کار برگه‌ای به نام یا شماره «%1» ندارد.</source>
      <translation>The workbook has no sheet named or numbered “%1”.</translation>
    </message>
    <message>
      <source>نام فایل داده نشده است.</source>
      <translation>No file name was given.</translation>
    </message>
    <message>
      <source>فایل یا پوشه آن پیدا نشد.</source>
      <translation>The file or a folder on its path was not found.</translation>
    </message>
    <message>
      <source>اجازه دسترسی به فایل یا پوشه آن نیست.</source>
      <translation>There is no permission to reach the file or its folder.</translation>
    </message>
    <message>
      <source>فایل در دست برنامه دیگری است.</source>
      <translation>Another program holds the file.</translation>
    </message>
    <message>
      <source>این جدول از همین کتاب کار خوانده شده است و روی کتاب کار نوشته نمی‌شود؛ با نام دیگری ذخیره کنید.</source>
      <translation>This table was read from this very workbook and is never written over it; save it under another name.</translation>
    </message>
    <message>
      <source>نسخه بازیابی آسیب دیده است و خوانده نمی‌شود.</source>
      <translation>The recovery record is damaged and cannot be read.</translation>
    </message>
    <message>
      <source>فایل پس از باز شدن یا آخرین ذخیره با برنامه دیگری تغییر کرده است؛ چیزی روی آن نوشته نشد.</source>
      <translation>Another program changed the file since it was opened or last saved; nothing was written over it.</translation>
    </message>
    <message>
      <source>دیسک فقط خواندنی است.</source>
      <translation>The disk is read-only.</translation>
    </message>
    <message>
      <source>فایل فقط خواندنی است.</source>
      <translation>The file is read-only.</translation>
    </message>
    <message>
      <source>این نام یک پوشه است، نه فایل.</source>
      <translation>This name is a folder, not a file.</translation>
    </message>
    <message>
      <source>این نام یک فایل معمولی نیست.</source>
      <translation>This name is not a regular file.</translation>
    </message>
    <message>
      <source>نام فایل پشتیبان همان نام خود فایل است.</source>
      <translation>The backup's name is the file's own name.</translation>
    </message>
    <message>
      <source>فایل بیش از اندازه بزرگ است.</source>
      <translation>The file is too large.</translation>
    </message>
    <message>
      <source>سهمیه شما از دیسک پر است.</source>
      <translation>Your disk quota is full.</translation>
    </message>
    <message>
      <source>جای خالی دیسک کافی نیست.</source>
      <translation>There is not enough free space on the disk.</translation>
    </message>
    <message>
      <source>حافظه کافی نیست.</source>
      <translation>There is not enough memory.</translation>
    </message>
    <message>
      <source>نویسه %1 در %2 در رمزگذاری Windows-1256 نیست. جدول را با UTF-8 یا UTF-16 ذخیره کنید.</source>
      <translation>Character %1 in %2 is not in the Windows-1256 encoding. Save the table as UTF-8 or UTF-16.</translation>
    </message>
    <message>
      <source>خانه %1 نویسه TAB دارد و در فایلی که خانه‌هایش با TAB جدا می‌شوند دو خانه می‌شود. TAB را از خانه بردارید.</source>
      <translation>Cell %1 holds a TAB, and becomes two cells in a file whose cells are separated by TABs. Take the TAB out of the cell.</translation>
    </message>
    <message>
      <source>خانه %1 نویسه TAB یا شکست خط دارد که فایلی با خانه‌های جداشده با TAB نگه نمی‌دارد. جدول را با نوع CSV ذخیره کنید.</source>
      <translation>Cell %1 holds a TAB or a line break, which a file of TAB-separated cells cannot hold. Save the table as CSV.</translation>
    </message>
    <message>
      <source>خطای ناشناخته</source>
      <translation>Unknown error</translation>
    </message>
    <message>
      <source>جدول %1 سطر دارد و فایل اکسل حداکثر %2 سطر می‌پذیرد.</source>
      <translation>The table has %1 rows, and an Excel file takes at most %2.</translation>
    </message>
    <message>
      <source>جدول %1 ستون دارد و فایل اکسل حداکثر %2 ستون می‌پذیرد.</source>
      <translation>The table has %1 columns, and an Excel file takes at most %2.</translation>
    </message>
    <message>
      <source>نام برگه خالی است.</source>
      <translation>The sheet name is empty.</translation>
    </message>
    <message>
      <source>نام برگه «%1» پذیرفته نیست: %2</source>
      <translation>The sheet name “%1” is refused: %2</translation>
    </message>
    <message>
      <source>خانه %1 بیش از %2 نویسه دارد.</source>
      <translation>Cell %1 holds more than %2 characters.</translation>
    </message>
    <message>
      <source>فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (%1)</source>
      <translation>The file was not written whole; the disk or the temporary folder may be full. (%1)</translation>
    </message>
    <message>
      <source>ردیف %1، ستون %2</source>
      <translation>row %1, column %2</translation>
    </message>
    <message>
      <source>فایل «%1» ذخیره نشد و محتوای قبلی آن هم برنگشت؛ فایل ممکن است ناقص باشد.
%2</source>
      <translation>The file “%1” was not saved, and its old content could not be put back; the file may be incomplete.
%2</translation>
    </message>
    <message>
      <source>فایل «%1» باز نشد.
%2</source>
      <translation>The file “%1” could not be opened.
%2</translation>
    </message>
    <message>
      <source>فایل «%1» ذخیره نشد؛ فایل قبلی دست نخورده ماند.
%2</source>
      <translation>The file “%1” was not saved; the old file is as it was.
%2</translation>
    </message>
    <message>
      <source>خطا در ذخیره فایل اکسل
%1
%2</source>
      <translation>Error saving the Excel file
%1
%2</translation>
    </message>
    <message>
      <source>جدول ذخیره شد، ولی فایل پشتیبان «%1» ساخته نشد.
%2</source>
      <translation>The table was saved, but the backup “%1” was not made.
%2</translation>
    </message>
    <message>
      <source>رنگ قلم...</source>
      <translation>Font colour...</translation>
    </message>
    <message>
      <source>رنگ پیش فرض</source>
      <translation>Default colour</translation>
    </message>
    <message>
      <source>در حال خواندن جدول...</source>
      <translation>Reading the table...</translation>
    </message>
    <message>
      <source>انصراف</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <source>ویرایش خانه</source>
      <translation>Edit Cell</translation>
    </message>
    <message>
      <source>جابه‌جایی ستون</source>
      <translation>Move Column</translation>
    </message>
    <message>
      <source>مرتب‌سازی</source>
      <translation>Sort</translation>
    </message>
    <message>
      <source>حذف ردیف</source>
      <translation>Delete Row</translation>
    </message>
    <message>
      <source>حذف ستون</source>
      <translation>Remove Column</translation>
    </message>
    <message>
      <source>درج ردیف</source>
      <translation>Insert Row</translation>
    </message>
    <message>
      <source>درج ستون</source>
      <translation>Insert Column</translation>
    </message>
    <message>
      <source>پاک کردن خانه‌ها</source>
      <translation>Clear Cells</translation>
    </message>
    <message>
      <source>چسباندن</source>
      <translation>Paste</translation>
    </message>
    <message>
      <source>یافتن و جایگزینی</source>
      <translation>Find and Replace</translation>
    </message>
    <message>
      <source>تغییر نام ستون</source>
      <translation>Rename Column</translation>
    </message>
    <message>
      <source>واگرد </source>
      <translation>Undo </translation>
    </message>
    <message>
      <source>ازنو </source>
      <translation>Redo </translation>
    </message>
    <message>
      <source>تغییرات جدول ذخیره شود؟</source>
      <translation>Save the changes to the table?</translation>
    </message>
    <message>
      <source>ذخیره</source>
      <translation>Save</translation>
    </message>
    <message>
      <source>ذخیره نشود</source>
      <translation>Don't Save</translation>
    </message>
    <message>
      <source>درج ردیف در زیر</source>
      <translation>Insert Row Below</translation>
    </message>
    <message>
      <source>چسباندن در خانه‌ها</source>
      <translation>Paste into Cells</translation>
    </message>
    <message>
      <source>رفتن به ردیف</source>
      <translation>Go to Row</translation>
    </message>
    <message>
      <source>جدول «%1» دیگر در جای خود نیست؛ از فهرست جدول‌های اخیر برداشته شد.</source>
      <translation>The table “%1” is no longer where it was; it was taken off the list of recent tables.</translation>
    </message>
    <message>
      <source>تأیید</source>
      <translation>OK</translation>
    </message>
    <message>
      <source>%1 خانه تغییر کرد</source>
      <translation>%1 cells changed</translation>
    </message>
    <message>
      <source>ردیف %1 با پالایه دیده نمی‌شود.</source>
      <translation>Row %1 is hidden by the filter.</translation>
    </message>
    <message>
      <source>شماره ردیف باید از 1 تا %1 باشد.</source>
      <translation>The row number must be from 1 to %1.</translation>
    </message>
    <message>
      <source>این کتاب کار چند برگه دارد. کدام برگه باز شود؟</source>
      <translation>This workbook has several sheets. Which one should open?</translation>
    </message>
    <message>
      <source>باز کردن</source>
      <translation>Open</translation>
    </message>
    <message>
      <source>جدول تازه</source>
      <translation>new table</translation>
    </message>
    <message>
      <source>رسمیک پیش از ذخیره تغییرهای «%1» بسته شد و نسخه بازیابی آن‌ها مانده است.</source>
      <translation>Rasmik ended before the changes to “%1” were saved, and their recovery record is left.</translation>
    </message>
    <message>
      <source>فایل از آن پس تغییر کرده است؛ تغییرها در جدولی جدا باز می‌شوند و روی فایل نوشته نمی‌شوند.</source>
      <translation>The file has changed since; the changes open as a table of their own and are not written over the file.</translation>
    </message>
    <message>
      <source>فایل از آن پس تغییر کرده است و این تغییرها دیگر بر آن نمی‌نشینند.</source>
      <translation>The file has changed since, and these changes no longer fit it.</translation>
    </message>
    <message>
      <source>بازگرداندن تغییرها</source>
      <translation>Restore the Changes</translation>
    </message>
    <message>
      <source>نگه داشتن برای بعد</source>
      <translation>Keep for Later</translation>
    </message>
    <message>
      <source>باز کردن فایل همان‌گونه که هست</source>
      <translation>Open the File as It Is</translation>
    </message>
    <message>
      <source>دور انداختن تغییرها</source>
      <translation>Throw the Changes Away</translation>
    </message>
    <message>
      <source>%1 تغییر ذخیره‌نشده بازگردانده شد.</source>
      <translation>%1 unsaved changes restored.</translation>
    </message>
    <message>
      <source>نسخه بازیابی آسیب دیده بود؛ %1 تغییر نخست آن بازگردانده شد.</source>
      <translation>The recovery record was damaged; its first %1 changes were restored.</translation>
    </message>
    <message>
      <source>این جدول در بایت %1 فایل (نویسه NUL) بریده شده است و %2 بایت پایانی فایل در آن نیست.</source>
      <translation>This table was cut off at byte %1 of the file (a NUL character), and the last %2 bytes of the file are not in it.</translation>
    </message>
    <message>
      <source>ذخیره روی همین فایل این %1 بایت را از فایل پاک می‌کند. ذخیره شود؟</source>
      <translation>A save over this file takes these %1 bytes out of it. Save?</translation>
    </message>
    <message>
      <source>فایل این جدول پس از باز شدن یا آخرین ذخیره با برنامه دیگری تغییر کرده است.</source>
      <translation>Another program changed this table's file since it was opened or last saved.</translation>
    </message>
    <message>
      <source>ذخیره روی آن، نسخه تازه را به فایل پشتیبان (.Bak) می‌برد. ذخیره روی همین فایل شود؟</source>
      <translation>A save over it moves the new version to the backup (.Bak). Save over this file?</translation>
    </message>
    <message>
      <source>ذخیره روی همین فایل</source>
      <translation>Save over This File</translation>
    </message>
    <message>
      <source>ذخیره با نام دیگر</source>
      <translation>Save under Another Name</translation>
    </message>
    <message>
      <source>فایل این جدول پاک یا جابه‌جا شده است. «ذخیره» آن را دوباره در همان جا می‌نویسد.</source>
      <translation>This table's file was deleted or moved. “Save” writes it back where it was.</translation>
    </message>
    <message>
      <source>فایل این جدول با برنامه دیگری تغییر کرده است. نسخه تازه باز شود؟</source>
      <translation>Another program changed this table's file. Open the new version?</translation>
    </message>
    <message>
      <source>باز کردن نسخه تازه</source>
      <translation>Open the New Version</translation>
    </message>
    <message>
      <source>نگه داشتن همین</source>
      <translation>Keep This One</translation>
    </message>
    <message>
      <source>%1 فایل رها شد؛ تنها نخستین آن‌ها باز شد.</source>
      <translation>%1 files dropped; only the first of them was opened.</translation>
    </message>
    <message>
      <source>در حال ذخیره جدول...</source>
      <translation>Saving the table...</translation>
    </message>
    <message>
      <source>در حال نوشتن فایل اکسل...</source>
      <translation>Writing the Excel file...</translation>
    </message>
    <message>
      <source>هیچ ردیفی دیده نمی‌شود</source>
      <translation>No row shows</translation>
    </message>
    <message>
      <source>%1 خانه، جمع: %2</source>
      <translation>%1 cells, sum: %2</translation>
    </message>
    <message>
      <source>پالایه روشن است: %1 ردیف دیده می‌شود</source>
      <translation>Filter on: %1 rows show</translation>
    </message>
    <message>
      <source>ویرگول (,)</source>
      <translation>comma (,)</translation>
    </message>
    <message>
      <source>نقطه‌ویرگول (;)</source>
      <translation>semicolon (;)</translation>
    </message>
    <message>
      <source>خط عمودی (|)</source>
      <translation>vertical bar (|)</translation>
    </message>
    <message>
      <source>رمزگذاری: %1</source>
      <translation>Encoding: %1</translation>
    </message>
    <message>
      <source>جداکننده: %1</source>
      <translation>Separator: %1</translation>
    </message>
    <message>
      <source>%1 ردیف، %2 ستون</source>
      <translation>%1 rows, %2 columns</translation>
    </message>
    <message>
      <source>جدول در بایت %1 (NUL) بریده شد؛ %2 بایت خوانده نشد.</source>
      <translation>The table was cut off at byte %1 (NUL); %2 bytes were not read.</translation>
    </message>
    <message>
      <source>فایل با نیمی از یک نویسه (بایت 0x%1) پایان می‌یابد؛ آن بایت دست نخورده می‌ماند.</source>
      <translation>The file ends in half a character (byte 0x%1); that byte is left as it is.</translation>
    </message>
    <message>
      <source>نقل‌قولی در فایل بسته نشده است؛ خانه‌ای که با آن آغاز شد تا پایان فایل ادامه دارد.</source>
      <translation>A quote in the file is never closed; the cell it opened runs to the end of the file.</translation>
    </message>
    <message>
      <source>تنظيم سايز ثابت ستون ها</source>
      <translation>Fixed Column Sizes</translation>
    </message>
    <message>
      <source>سايزها</source>
      <translation>Sizes</translation>
    </message>
    <message>
      <source>جستجو</source>
      <translation>Search</translation>
    </message>
    <message>
      <source>متن:</source>
      <translation>Text:</translation>
    </message>
    <message>
      <source>پالایه</source>
      <translation>Filter</translation>
    </message>
    <message>
      <source>ردیف‌هایی که همه این واژه‌ها را دارند:</source>
      <translation>Rows that hold all these words:</translation>
    </message>
    <message>
      <source>كد شروع:</source>
      <translation>Start code:</translation>
    </message>
    <message>
      <source>عنوان چاپ</source>
      <translation>Print Title</translation>
    </message>
    <message>
      <source>عنوان:</source>
      <translation>Title:</translation>
    </message>
    <message>
      <source>شماره ردیف:</source>
      <translation>Row number:</translation>
    </message>
    <message>
      <source>نام تازه ستون:</source>
      <translation>New column name:</translation>
    </message>
    <message>
      <source>ذخيره در فايل اكسل</source>
      <translation>Save as Excel File</translation>
    </message>
    <message>
      <source>فقط خانه‌هایی که تمامشان همین متن است</source>
      <translation>Only cells that are exactly this text</translation>
    </message>
    <message>
      <source>یافتن:</source>
      <translation>Find:</translation>
    </message>
    <message>
      <source>جایگزینی با:</source>
      <translation>Replace with:</translation>
    </message>
    <message>
      <source>جایگزینی همه</source>
      <translation>Replace All</translation>
    </message>
    <message>
      <source>تاييد</source>
      <translation>OK</translation>
    </message>
    <message>
      <source>ثبت</source>
      <translation>Enter</translation>
    </message>
    <message>
      <source>نویسه %1 در رمزگذاری Windows-1256 این جدول نیست و نوشته نمی‌شود. آن را بردارید، یا جدول را با UTF-8 یا UTF-16 ذخیره کنید.</source>
      <translation>Character %1 is not in this table's Windows-1256 encoding and is not written. Take it out, or save the table as UTF-8 or UTF-16.</translation>
    </message>
    <message>
      <source>در حال آماده كردن صفحه هاي چاپ...</source>
      <translation>Making the print pages...</translation>
    </message>
    <message>
      <source>Undo</source>
      <translation>Undo</translation>
    </message>
    <message>
      <source>Redo</source>
      <translation>Redo</translation>
    </message>
    <message>
      <source>Open</source>
      <translation>Open</translation>
    </message>
    <message>
      <source>Pre File</source>
      <translation>Pre File</translation>
    </message>
    <message>
      <source>Next File</source>
      <translation>Next File</translation>
    </message>
    <message>
      <source>Font</source>
      <translation>Font</translation>
    </message>
    <message>
      <source>Print</source>
      <translation>Print</translation>
    </message>
    <message>
      <source>Save Current Column</source>
      <translation>Save Current Column</translation>
    </message>
    <message>
      <source>Save Current Column without Repeat</source>
      <translation>Save Current Column without Repeat</translation>
    </message>
    <message>
      <source>Paste Table</source>
      <translation>Paste Table</translation>
    </message>
    <message>
      <source>Save Current Row For Header</source>
      <translation>Save Current Row For Header</translation>
    </message>
    <message>
      <source>Sum Of Current Column</source>
      <translation>Sum Of Current Column</translation>
    </message>
    <message>
      <source>Save</source>
      <translation>Save</translation>
    </message>
    <message>
      <source>Save With Rows</source>
      <translation>Save With Rows</translation>
    </message>
    <message>
      <source>Simple Number</source>
      <translation>Simple Number</translation>
    </message>
    <message>
      <source>Delete Col</source>
      <translation>Delete Col</translation>
    </message>
    <message>
      <source>Shift Col N+1 to N</source>
      <translation>Shift Col N+1 to N</translation>
    </message>
    <message>
      <source>Save Col Order</source>
      <translation>Save Col Order</translation>
    </message>
    <message>
      <source>Delete Col Order</source>
      <translation>Delete Col Order</translation>
    </message>
    <message>
      <source>Maximize Window</source>
      <translation>Maximize Window</translation>
    </message>
    <message>
      <source>Iran System Shaping</source>
      <translation>Iran System Shaping</translation>
    </message>
    <message>
      <source>English Interface</source>
      <translation>English Interface</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>Close</translation>
    </message>
    <message>
      <source>Copy</source>
      <translation>Copy</translation>
    </message>
    <message>
      <source>Select All</source>
      <translation>Select All</translation>
    </message>
    <message>
      <source>Sort Ascending</source>
      <translation>Sort Ascending</translation>
    </message>
    <message>
      <source>Sort Descending</source>
      <translation>Sort Descending</translation>
    </message>
    <message>
      <source>Filter</source>
      <translation>Filter</translation>
    </message>
    <message>
      <source>Show All Rows</source>
      <translation>Show All Rows</translation>
    </message>
    <message>
      <source>Note Pad</source>
      <translation>Note Pad</translation>
    </message>
    <message>
      <source>Excel</source>
      <translation>Excel</translation>
    </message>
    <message>
      <source>Tabs</source>
      <translation>Tabs</translation>
    </message>
    <message>
      <source>Fix Cell Size</source>
      <translation>Fix Cell Size</translation>
    </message>
    <message>
      <source>Search</source>
      <translation>Search</translation>
    </message>
    <message>
      <source>Search Again</source>
      <translation>Search Again</translation>
    </message>
    <message>
      <source>Delete Row</source>
      <translation>Delete Row</translation>
    </message>
    <message>
      <source>Values</source>
      <translation>Values</translation>
    </message>
    <message>
      <source>File</source>
      <translation>File</translation>
    </message>
    <message>
      <source>Edit</source>
      <translation>Edit</translation>
    </message>
    <message>
      <source>Extra</source>
      <translation>Extra</translation>
    </message>
    <message>
      <source>Recent</source>
      <translation>Recent</translation>
    </message>
    <message>
      <source>(none)</source>
      <translation>(none)</translation>
    </message>
    <message>
      <source>Comma</source>
      <translation>Comma</translation>
    </message>
    <message>
      <source>Semicolon</source>
      <translation>Semicolon</translation>
    </message>
    <message>
      <source>Pipe</source>
      <translation>Pipe</translation>
    </message>
    <message>
      <source>Reopen As</source>
      <translation>Reopen As</translation>
    </message>
  </context>
</TS>
