# The sample mailboxes of the POP3 server fixtures (dovecot-fixture, mailutils-fixture), as maildir
# folders. Sourced; the caller sets $base (its fresh directory under /tmp).

write_message() { # file subject body
    printf 'From: Pelmora Test <sender@pelmora.test>\nTo: %s@pelmora.test\nSubject: %s\nDate: Mon, 1 Jan 2024 09:00:00 +0900\nMessage-ID: <%s@pelmora.test>\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n%s' \
        "$user" "$2" "${1##*/}" "$3" > "$1"
}

make_mailbox() { # user count body-kind [folder under the home, Maildir unless given]
    local user=$1 count=$2 kind=$3 dir="$base/home/$1/${4:-Maildir}" i body
    mkdir -p "$dir/new" "$dir/cur" "$dir/tmp"
    case $kind in
        three | mailcheck | scheduled | untouched)
            write_message "$dir/new/1700000001.M1P1.pelmora" "Plain subject" $'First message.\n'
            write_message "$dir/new/1700000002.M2P1.pelmora" \
                "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=" $'Lines starting with a dot:\n.\n..two\n.end\n'
            write_message "$dir/new/1700000003.M3P1.pelmora" \
                "=?UTF-8?B?44GT44KT44Gr44Gh44Gv?= =?UTF-8?Q?caf=C3=A9?=" $'Third.\n'
            # The second one already read by a mail program: in cur/ with the seen flag.
            if [ "$kind" = untouched ]; then
                mv "$dir/new/1700000002.M2P1.pelmora" "$dir/cur/1700000002.M2P1.pelmora:2,S"
            fi
            ;;
        demo)
            # What scripts/demo shows: a few messages in Japanese and English.
            write_message "$dir/new/1700000101.M101P1.pelmora" "=?UTF-8?B?5piO5pel44Gu5omT44Gh5ZCI44KP44Gb44Gr44Gk44GE44Gm?=" $'明日の打ち合わせは10時から会議室Bで行います。\nよろしくお願いします。\n'
            write_message "$dir/new/1700000102.M102P1.pelmora" "Lunch on Friday?" $'Shall we try the new ramen place near the station on Friday?\n'
            write_message "$dir/new/1700000103.M103P1.pelmora" "=?UTF-8?B?44CQ44GK55+l44KJ44Gb44CR44Oa44Or44Oi44Op44G444KI44GG44GT44Gd?=" $'ペルモラがメールの到着を知らせています。\n「戻す」を押すと鳴き声が止まります。\n'
            write_message "$dir/new/1700000104.M104P1.pelmora" "Your order has shipped" $'Your parcel is on its way and should arrive tomorrow.\n'
            ;;
        many | bench | mostly-read)
            # Numbers are zero-padded so every message of a mailbox has the same size; only
            # shell built-ins run per message, so 1000 messages take well under a second.
            # mostly-read: the small messages of "many", all but the last 10 already read (in
            # cur/ with the seen flag), as an IMAP INBOX usually is.
            local body="" line file first
            if [ "$kind" != bench ]; then
                for ((i = 1; i <= 40; i++)); do printf -v line 'line %04d of a small message body\n' "$i"; body+=$line; done
            fi
            for ((i = 1; i <= count; i++)); do
                printf -v file '%s/new/17%08d.M%04dP1.pelmora' "$dir" "$i" "$i"
                if [ "$kind" = mostly-read ] && ((i <= count - 10)); then
                    printf -v file '%s/cur/17%08d.M%04dP1.pelmora:2,S' "$dir" "$i" "$i"
                fi
                if [ "$kind" = bench ] && [ "$i" = 1 ]; then
                    # 51,200 bytes as the server counts them (LF stored, CRLF sent): pad the body.
                    write_message "$file" "Bench 0001" ""
                    local header_bytes header_lines want
                    header_bytes=$(wc -c < "$file")
                    header_lines=$(wc -l < "$file")
                    want=$((51200 - header_bytes - header_lines))
                    printf -v line '%075d' 0
                    while ((want >= 77)); do body+="$line"$'\n'; want=$((want - 77)); done
                    printf -v line '%*s' $((want - 2)) ''
                    body+="${line// /x}"$'\n'
                fi
                printf -v first '%s %04d' "${kind^}" "$i"
                [ "$kind" = mostly-read ] && printf -v first 'Many %04d' "$i"
                write_message "$file" "$first" "$body"
            done
            ;;
    esac
    chown -R 65534:65534 "$base/home/$user"
}
