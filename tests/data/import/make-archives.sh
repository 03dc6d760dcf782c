#!/bin/sh
# Makes the LHA import fixtures with Debian's lha (package jlha-utils):
#   one.lzh  holds zatsudan-2001.log (three type-0 messages);
#   two.lzh  holds first.log (messages 11 and 12), then second.log (messages 21 and 22);
#   readme.lzh holds readme.txt (no log entries), then second.log.
# The .log files are CP932 with CR LF line ends and are kept beside the archives, so tests can
# compare an archive with the text it holds. Run from this folder: sh make-archives.sh
set -eu

# One type-0 entry: number, subject, name, date, reply, body; closed by the separator.
entry() {
    printf '記事番号　：　%s\n題名　　：　%s\nホームページ　　：　\nメール　　：　\n' "$1" "$2"
    printf '投稿者　　：　%s\n投稿日　　：　%s\n返信元　　　：　%s\n本文　　　：\n%s\n' "$3" "$4" "$5" "$6"
    printf '===--+--+--+--+--+--+--+--+--+--+--+--+--===\n'
}

# UTF-8 with LF in, CP932 with CR LF out.
cp932() {
    sed 's/$/\r/' | iconv -f UTF-8 -t CP932
}

{
    entry 3 'Re: 春の集まり' '鈴木' '2001/04/02（月） 09:15:00' 1 '> 場所はどこですか？
駅前の公園です。'
    entry 2 '雑談' '佐藤' '2001/04/01（日） 21:00:30' '' 'こんばんは。'
    entry 1 '春の集まり' '田中' '2001/04/01（日） 20:45:00' '' '今度の日曜日に集まりませんか？
～ 詳しくは後ほど ～'
} | cp932 >zatsudan-2001.log

{
    entry 12 'Re: 最初' '山田' '2002/01/01（火） 10:00:00' 11 '返信です。'
    entry 11 '最初' '山田' '2002/01/01（火） 09:00:00' '' '最初の書庫の一つ目。'
} | cp932 >first.log

{
    entry 22 '二つ目' '高橋' '2002/02/01（金） 10:00:00' '' '二つ目の書庫の一つ目。'
    entry 21 '二つ目' '高橋' '2002/02/01（金） 09:00:00' '' '同上。'
} | cp932 >second.log

printf 'この書庫には過去ログが入っています。\n' | cp932 >readme.txt

rm -f one.lzh two.lzh readme.lzh
lha aq one.lzh zatsudan-2001.log
lha aq two.lzh first.log second.log
lha aq readme.lzh readme.txt second.log
